// What a script sees: exit statuses that tell the truth, a lost board said once, faults
// injected from the command line, output files kept whole on a full disk, hostile input
// refused, and Ctrl-C ending long work promptly with the board left at rest.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_runner.h"

using evkit::test::CliResult;
using evkit::test::runCli;

namespace {

std::string temp(const std::string& name) {
    return ::testing::TempDir() + "evkit_rel_" + std::to_string(::getpid()) + "_" + name;
}

std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put(const std::string& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Runs the program through the shell with `prefix` before it (ulimit, timeout, ...).
CliResult runShell(const std::string& prefix, const std::string& args) {
    const std::string err = temp("shell.err");
    const std::string cmd =
        prefix + " " + EVKIT_CLI_PATH + " " + args + " 2>" + err + " </dev/null";
    CliResult r;
    FILE* p = popen(("sh -c '" + cmd + "'").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    r.status = WEXITSTATUS(pclose(p));
    r.err = slurp(err);
    std::remove(err.c_str());
    return r;
}

const char* kLost = "USB connection error. Ensure proper USB connection and power.";

// --- exit statuses -------------------------------------------------------------------------

struct StatusCase {
    std::string args;
    int status;
    const char* message;     // expected on stderr
    const char* notPrinted;  // what the fault used to print as if it had happened
};

TEST(CliExitStatus, EveryFailureIsNonZero) {
    // Transport operations of a run: 1-4 open the board (count, product, open, time-outs);
    // then each register read is flush, page frame, command frame, read.
    const std::string dir = temp("dir");
    ::mkdir(dir.c_str(), 0755);
    const StatusCase cases[] = {
        // The status read of the identification fails: no identification, exit 1.
        {"--board sim --fault fail-read@8 identify", 1, "USB Read Error", "chip="},
        // The board query fails.
        {"--board sim --fault fail-read@7 identify", 1, "USB Read Error", "chip="},
        // The second EEPROM frame fails: not "written=3".
        {"--board sim --fault fail-write@7 eeprom write 1 2 3", 1,
         "EEPROM write failed: 2 of 3 bytes written.", "written="},
        // The board is lost half-way through the setup refresh: no placeholder values.
        {"--board sim --fault unplug@17 setup show", 1, kLost, "SETUP_CYCLE_COUNT="},
        {"--board sim --fault unplug@17 setup set SETUP_CYCLE_COUNT=500", 1, kLost,
         "SETUP_CYCLE_COUNT="},
        // The reset command is not sent: a failure, and no values shown as if reset.
        {"--board sim --fault fail-write@5 setup reset", 1, "USB Write Error.",
         "SETUP_CYCLE_COUNT="},
        // A batch file that is a directory, or missing.
        {"--board sim batch " + dir, 1, "Is a directory", "word="},
        {"--board sim batch /nonexistent/evkit.batch", 1, "No such file or directory", "word="},
    };
    for (const auto& c : cases) {
        const auto r = runCli(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out.find(c.notPrinted), std::string::npos) << c.args << "\n" << r.out;
    }
}

TEST(CliExitStatus, AnalyzeOptionsOfAnotherTestOrABadBinWidthAreUsageErrors) {
    const std::string dat = temp("block.dat");
    put(dat, "PM7014\n4000.000000\n4\n8388608\n1\n2\n3\n4\n");
    const std::string out = temp("never.fft");
    for (const std::string& args :
         std::vector<std::string>{"analyze " + dat + " --test time --fft-out " + out,
                                  "analyze " + dat + " --test time --hist-out " + out,
                                  "analyze " + dat + " --test fft --hist-out " + out,
                                  "analyze " + dat + " --test hist --fft-out " + out,
                                  "analyze " + dat + " --test hist --bin-width 0",
                                  "analyze " + dat + " --test hist --bin-width -4"}) {
        const auto r = runCli(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << args;
        EXPECT_NE(r.err.find("error"), std::string::npos) << args;
    }
    EXPECT_EQ(slurp(out), "");
    EXPECT_EQ(runCli("analyze " + dat + " --test hist --bin-width 1").status, 0);
}

TEST(CliExitStatus, AMonitorWhoseStreamStaysSilentTimesOut) {
    // The stream stops after the start frame; 10 s of silence (virtual time) end the run.
    const auto r =
        runShell("timeout 60", "--board sim --trace --fault stall@20 monitor --updates 3");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(occurrences(r.err, "Timed out during data collection."), 1) << r.err;
    // The device is told to stop streaming.
    const auto start = r.err.find("> f9 00 00 00 00 00");
    ASSERT_NE(start, std::string::npos) << r.err;
    EXPECT_NE(r.err.find("> a0 00 00 00 00 00", start), std::string::npos) << r.err;
}

TEST(CliExitStatus, APulseCountOnASilentBoardTimesOut) {
    // The board stops answering before the first count (virtual time: gate + 10 s pass at
    // once); without the limit the count would wait for ever and `timeout` end it with 124.
    const auto r =
        runShell("timeout 20", "--board sim --trace --fault stall@14 pulse --time 3 --repeat 2");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(occurrences(r.err, "Timed out during data collection."), 1) << r.err;
    EXPECT_EQ(r.out.find("\ncount="), std::string::npos) << r.out;  // no count line
    const auto start = r.err.find("> f6 96 00 00 00 00");           // 3 s: 150 units of 20 ms
    ASSERT_NE(start, std::string::npos) << r.err;
    EXPECT_NE(r.err.find("> a0 00 00 00 00 00", start), std::string::npos) << r.err;
}

// --- a lost board is said once --------------------------------------------------------------

TEST(CliLostBoard, SaidOnceInEveryMultiReadSequence) {
    const std::string rsf = temp("lost.rsf");
    put(rsf, "HEADER\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n17\n");
    for (const std::string& args : std::vector<std::string>{
             "--fault unplug@17 setup show", "--fault unplug@12 identify",
             "--fault unplug@17 registers retrieve " + rsf,
             "--fault unplug@17 registers store " + temp("lost-store.rsf"),
             "--fault unplug@20 calibration show", "--fault unplug@10 temperature show"}) {
        const auto r = runCli("--board sim " + args);
        EXPECT_EQ(r.status, 1) << args << "\n" << r.err;
        EXPECT_EQ(occurrences(r.err, kLost), 1) << args << "\n" << r.err;
    }
}

// --- faults from the command line -----------------------------------------------------------

TEST(CliFaults, EveryFailureRowOfTheCommandLayerAndTheCapture) {
    struct Row {
        const char* args;
        const char* message;
    };
    const Row rows[] = {
        // Command layer: flush, write, read, the timed measurement's device count and queue
        // check, and a refused command byte.
        {"--fault fail-flush@5 read 0:0", kLost},
        {"--fault fail-write@6 read 0:0", "USB Write Error."},
        {"--fault fail-write@7 write 1:22 5", "USB Write Error."},
        {"--fault fail-read@8 read 0:0", "USB Read Error"},
        {"--fault unplug@30 pulse --time 3", kLost},
        {"--fault overrun@30 pulse --time 3", "USB Error."},
        // Capture: start frame, queue check, overrun, silence, a failed or short packet read,
        // and the board pulled out.
        {"--fault fail-write@10 capture --pair 1 --samples 16",
         "Unable to send data collection command to board."},
        {"--fault overrun@12 capture --pair 1 --samples 16",
         "During data collection, unable to get RX Queue Status.\nPacket OverRun at PC"},
        {"--fault stall@10 capture --pair 1 --samples 16", "Timed out during data collection."},
        {"--fault fail-read@10 capture --pair 1 --samples 16",
         "During data collection, unable to get RX Queue Status."},
        {"--fault short-read@10 capture --pair 1 --samples 16",
         "During data collection, unable to get RX Queue Status."},
        {"--fault unplug@11 capture --pair 1 --samples 16", kLost},
        {"--fault unplug@11 fft --pair 1 --samples 256 --average 2", kLost},
    };
    for (const auto& row : rows) {
        const auto r = runCli(std::string("--board sim ") + row.args);
        EXPECT_EQ(r.status, 1) << row.args << "\n" << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << row.args << "\n" << r.err;
    }
    // Faults are checked before anything runs, and only the virtual board takes them.
    for (const char* bad :
         {"--board sim --fault melt@3 read 0:0", "--board sim --fault unplug@0 read 0:0",
          "--board sim --fault unplug read 0:0", "--board usb --fault unplug@1 read 0:0"}) {
        const auto r = runCli(bad);
        EXPECT_EQ(r.status, 2) << bad << "\n" << r.err;
    }
    // Several faults can be given.
    const auto r = runCli("--board sim --fault fail-read@8 --fault fail-read@12 read 0:0");
    EXPECT_EQ(r.status, 1);
}

// --- full disk ------------------------------------------------------------------------------

TEST(CliFiles, AFullDiskKeepsTheOldFileAndFails) {
    // A file size limit of 2 KiB (ulimit -f counts 1024-byte blocks in this shell) stands in
    // for a full disk.
    const std::string dat = temp("full.dat");
    const std::string dump = temp("full.dump");
    const std::string cases[][2] = {
        {"capture --pair 1 --samples 4096 --out " + dat, dat},
        {"capture --pair 1 --samples 4096 --export " + dat, dat},
        {"fft --pair 1 --samples 4096 --average 1 --fft-out " + dat, dat},
        {"dump 0 --count 500 --out " + dump, dump},
    };
    for (const auto& [args, file] : cases) {
        put(file, "old contents\n");
        const auto r = runShell("ulimit -f 2;", "--board sim " + args);
        EXPECT_EQ(r.status, 1) << args << "\n" << r.err;
        EXPECT_EQ(slurp(file), "old contents\n") << args;
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << args << "\n" << r.err;
    }
}

TEST(CliFiles, ALogThatStopsGrowingIsReportedOnceAndFailsTheRun) {
    const std::string log = temp("growing.log");
    // The header (about 500 bytes) fits; the limit strikes part-way through the lines.
    const auto r = runShell("ulimit -f 2;", "--board sim monitor --updates 40 --log " + log);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(occurrences(r.err, "Unable to write the file"), 1) << r.err;
    EXPECT_EQ(occurrences(r.out, "update="), 40);
}

// --- hostile input --------------------------------------------------------------------------

TEST(CliHostileInput, RefusedWithAMessageNeverACrash) {
    const std::string dir = temp("hostile");
    ::mkdir(dir.c_str(), 0755);
    const std::string big = temp("big.dat");
    put(big, "PM7014\n4000.000000\n2\n8388608\n1\n8388608\n");
    const std::string hexRsf = temp("hex.rsf");
    put(hexRsf, "H\n+0x10\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n17\n");
    struct Case {
        std::string args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"analyze " + dir + " --test time", 1, "Is a directory"},
        {"analyze " + big + " --test time", 1, "ERROR: Incompatible Data File"},
        {"--trace registers retrieve " + hexRsf, 1, "ERROR: Incompatible Data File"},
        {"registers retrieve /dev/zero", 1, "ERROR: Incompatible Data File"},
        {"batch /dev/zero", 2, "longer than 65536 bytes"},
        {"read 0xffffffffffffffff:0", 2, "error"},
        {"write 0:1 0xffffffffffffffff", 2, "is not a number"},
        {"write 0:1 0x8000000000000000", 2, "is not a number"},
    };
    for (const auto& c : cases) {
        const auto r = runCli("--board sim " + c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        // Nothing of a refused file reaches the device.
        EXPECT_EQ(r.err.find("> 40"), std::string::npos) << c.args;
    }
}

TEST(CliHostileInput, BatchWordsQuotesCommentsAndLongLines) {
    const std::string spaced = temp("a dir with spaces");
    ::mkdir(spaced.c_str(), 0755);
    const std::string out = spaced + "/cap #1.dat";
    auto r = runCli("--board sim batch", "write 1:19 500 # set\nread 1:19#not-a-comment\n");
    EXPECT_EQ(r.status, 2) << r.err;  // "1:19#not-a-comment" is one (bad) word
    EXPECT_EQ(r.out, "");
    r = runCli("--board sim batch", "write 1:19 500 # a comment\nread 1:19 # read back\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "word=0x0001f4\n");
    r = runCli("--board sim batch", "capture --pair 1 --samples 16 --out \"" + out + "\"\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(out).rfind("PM7014\n", 0), 0u);
    r = runCli("--board sim batch", "read 'unterminated\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unterminated"), std::string::npos) << r.err;
    r = runCli("--board sim batch", std::string(70000, 'x') + "\nread 0:0\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("longer than 65536 bytes"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

// Ctrl-C, SIGTERM and SIGHUP: tests/cli/signal_cli_test.cpp.

}  // namespace
