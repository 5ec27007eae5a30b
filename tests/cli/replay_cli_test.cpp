// --record and --board replay:FILE, run as a user runs them: a replay reproduces the run's
// output and files, a different command stops it at the right operation, and damaged
// session files are refused before anything runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "board/session_file.h"
#include "board/session_storage.h"
#include "cli_runner.h"

using evkit::test::runCli;

namespace {

std::string tmp(const std::string& name) {
    return ::testing::TempDir() + "replay_cli_" + name;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The monitor's time of day is the one line that tells when a run happened.
std::string withoutTimeOfDay(const std::string& out) {
    return std::regex_replace(out, std::regex("\ntime=[0-9:]+\n"), "\ntime=HH:MM:SS\n");
}

const char* const kOutputs[] = {"a.dat", "a.txt", "a.fft", "m.txt"};

std::string session(const std::string& eepromBytes = "1 2 3") {
    return " capture --pair 1 --samples 256 --out " + tmp("a.dat") + " --export " + tmp("a.txt") +
           " fft --pair 2 --samples 512 --average 2 --fft-out " + tmp("a.fft") +
           " monitor --count 2 --updates 3 --log " + tmp("m.txt") +
           " calibrate dc-offset i1 eeprom read --count 8 eeprom write " + eepromBytes;
}

TEST(ReplayCli, AReplayReproducesTheRecordedRunsOutputAndFiles) {
    const std::string file = tmp("run.session.gz");
    for (const char* f : kOutputs) std::remove(tmp(f).c_str());
    const auto recorded = runCli("--board sim --record " + file + session());
    ASSERT_EQ(recorded.status, 0) << recorded.err;
    ASSERT_EQ(slurp(file).substr(0, 2), "\x1f\x8b");  // the .gz name compresses
    EXPECT_FALSE(std::ifstream(file + ".part").good());
    std::string files[std::size(kOutputs)];
    for (std::size_t i = 0; i < std::size(kOutputs); ++i) {
        files[i] = slurp(tmp(kOutputs[i]));
        ASSERT_FALSE(files[i].empty()) << kOutputs[i];
        std::remove(tmp(kOutputs[i]).c_str());
    }
    evkit::SessionFile parsed;
    std::string error;
    ASSERT_TRUE(evkit::readSessionFile(file, &parsed, &error)) << error;
    EXPECT_TRUE(parsed.simulated);
    EXPECT_EQ(parsed.program.rfind("evkit714-cli 3.0.2", 0), 0u) << parsed.program;
    EXPECT_GT(parsed.ops.size(), 1000u);

    const auto replayed = runCli("--board replay:" + file + session());
    ASSERT_EQ(replayed.status, 0) << replayed.err;
    EXPECT_EQ(replayed.err, recorded.err);
    EXPECT_EQ(withoutTimeOfDay(replayed.out), withoutTimeOfDay(recorded.out));
    EXPECT_NE(recorded.out.find("\ntime="), std::string::npos);
    for (std::size_t i = 0; i < std::size(kOutputs); ++i)
        EXPECT_EQ(slurp(tmp(kOutputs[i])), files[i]) << kOutputs[i];

    // The replay under --trace shows the recorded frames; with --replay-timing instant
    // (the default) nothing waits.
    const auto traced =
        runCli("--board replay:" + file + " --replay-timing instant --trace" + session());
    EXPECT_EQ(traced.status, 0) << traced.err;
    EXPECT_NE(traced.err.find("> f5 00 00 00 00 00\n< 37 31 34\n"), std::string::npos);
}

TEST(ReplayCli, AChangedCommandStopsTheReplayAtTheFirstDifferentOperation) {
    const std::string file = tmp("base.session"), other = tmp("other.session");
    ASSERT_EQ(runCli("--board sim --record " + file + session("1 2 3")).status, 0);
    ASSERT_EQ(runCli("--board sim --record " + other + session("1 2 4")).status, 0);
    evkit::SessionFile a, b;
    std::string error;
    ASSERT_TRUE(evkit::readSessionFile(file, &a, &error)) << error;
    ASSERT_TRUE(evkit::readSessionFile(other, &b, &error)) << error;
    std::size_t first = 0;
    while (first < a.ops.size() && first < b.ops.size() &&
           evkit::describeSessionCall(a.ops[first]) == evkit::describeSessionCall(b.ops[first]))
        ++first;
    ASSERT_LT(first, a.ops.size());

    const auto r = runCli("--board replay:" + file + session("1 2 4"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("error: Replay diverged at operation " + std::to_string(first + 1) +
                         ": expected " + evkit::describeSessionCall(a.ops[first]) + ", got " +
                         evkit::describeSessionCall(b.ops[first]) + ".\n"),
              std::string::npos)
        << r.err;
    // Said once, whatever the program tried after it.
    EXPECT_EQ(r.err.find("Replay diverged"), r.err.rfind("Replay diverged"));

    // A shorter run leaves recorded operations unplayed: not a faithful replay either.
    const auto shorter = runCli("--board replay:" + file + " identify");
    EXPECT_EQ(shorter.status, 1);
    EXPECT_NE(shorter.err.find("Replay diverged at operation "), std::string::npos);
}

TEST(ReplayCli, TruncatedCorruptedAndMissingSessionFilesAreRefusedBeforeAnythingRuns) {
    const std::string file = tmp("small.session"), gz = tmp("small.session.gz");
    ASSERT_EQ(runCli("--board sim --record " + file + " identify read 0:0").status, 0);
    ASSERT_EQ(runCli("--board sim --record " + gz + " identify read 0:0").status, 0);
    const std::string text = slurp(file), packed = slurp(gz);
    ASSERT_EQ(runCli("--board replay:" + file + " identify read 0:0").status, 0);

    struct Case {
        const char* name;
        std::string contents;
        std::string message;
    };
    std::string corrupted = text;
    corrupted[corrupted.find(" = 0 3 ") + 7] ^= 1;  // a digit of an answer read
    const Case cases[] = {
        {"cut.session", text.substr(0, text.size() / 2), "is damaged: line "},
        {"noend.session", text.substr(0, text.rfind("end ")),
         "the file ends without its closing line after operation "},
        {"corrupt.session", corrupted, "checksum mismatch"},
        {"cut.session.gz", packed.substr(0, packed.size() - 12),
         "is damaged: the compressed data is cut off."},
        {"empty.session", "", "is damaged: line 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tmp(c.name);
        std::ofstream(path, std::ios::binary) << c.contents;
        const auto r = runCli("--board replay:" + path + " identify read 0:0");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("error: The session file \"" + path + "\"", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    const auto missing = runCli("--board replay:" + tmp("none.session") + " identify");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot be read"), std::string::npos) << missing.err;
    EXPECT_EQ(runCli("--board replay: identify").status, 2);
    EXPECT_EQ(runCli("--board replay:" + file + " --replay-timing later identify").status, 2);
}

TEST(ReplayCli, ARecordingThatCannotBeWrittenFailsTheRun) {
    const std::string path = tmp("no-such-dir/run.session");
    const auto r = runCli("--board sim --record " + path + " identify");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.values.at("chip"), "14");
    EXPECT_NE(r.err.find("Unable to write the file \"" + path + "\""), std::string::npos) << r.err;
}

}  // namespace
