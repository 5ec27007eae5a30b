// Ctrl-C (SIGINT), SIGTERM (kill, timeout) and SIGHUP (a closed terminal) end long work
// promptly, the way the window's stop buttons do: the board is left at rest with its closing
// frames, then the program exits with 128 + the signal's number.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "signal_runner.h"
#include "temp_files.h"

using evkit::test::afterSignal;
using evkit::test::runCli;
using evkit::test::signalAt;
using evkit::test::slurp;

namespace {

const char* kHalt = "> a0 00 00 00 00 00";
const char* kStatusRest = "> 5e 00 00 90 00 00";  // 0:15 <- 0x900000

// The desktop program's --help (it needs no display for it).
std::string runShellHelp(const std::string& program) {
    std::string out;
    FILE* p = popen((program + " --help 2>&1 </dev/null").c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string marker;  // the last frame before the wait the signal arrives in
    std::vector<std::string> restFrames;
    std::string input = "";
    int settleMs = 0;  // a moment after the marker, for a wait that follows other frames
};

TEST(CliStopSignals, EachSignalLeavesTheBoardAtRestAndExitsWith128PlusItsNumber) {
    const std::string dump =
        ::testing::TempDir() + "evkit_sig_" + std::to_string(::getpid()) + ".dump";
    // Each case waits, after its marker, for a board that answers late or never (stall) or
    // for virtual time that never runs out, so the signal always arrives inside the wait.
    const Case cases[] = {
        {"seconds delay",
         {"--board", "sim", "--realtime", "--trace", "capture", "--pair", "1", "--samples", "16",
          "--seconds-delay", "30"},
         "< ",
         {kHalt, kStatusRest},
         "",
         100},
        {"capture waiting for packets",
         {"--board", "sim", "--realtime", "--trace", "--fault", "stall@10", "capture", "--pair",
          "1", "--samples", "16"},
         "> f8",
         {kHalt, kStatusRest}},
        {"FFT averaging",
         {"--board", "sim", "--realtime", "--trace", "--fault", "stall@10", "fft", "--pair", "1",
          "--samples", "4096", "--average", "100"},
         "> f8",
         {kHalt, kStatusRest}},
        {"monitor", {"--board", "sim", "--trace", "monitor", "--count", "3"}, "> f9", {kHalt}},
        {"pulse count",
         {"--board", "sim", "--trace", "pulse", "--time", "30", "--repeat", "1000000"},
         "> f6",
         {kHalt}},
        {"bulk dump",
         {"--board", "sim", "--realtime", "--trace", "dump", "0", "--count", "70000", "--out",
          dump},
         "> 00 00 00 00 00 00",
         {}},
        {"monitor in a batch",
         {"--board", "sim", "--trace", "batch"},
         "> f9",
         {kHalt},
         "monitor\n"},
        {"batch waiting for input", {"--board", "sim", "--trace", "batch"}, "< ", {}, "read 0:0\n"},
    };
    for (const int signo : {SIGINT, SIGTERM, SIGHUP}) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.name) + " / signal " + std::to_string(signo);
            std::remove(dump.c_str());
            const auto r = signalAt(c.args, c.marker, signo, c.input, c.settleMs);
            EXPECT_EQ(r.status, 128 + signo) << what << "\n" << r.err.substr(0, 2000);
            EXPECT_LE(r.seconds, 0.5) << what;
            const std::string after = afterSignal(r.err);
            for (const auto& frame : c.restFrames)
                EXPECT_NE(after.find(frame), std::string::npos) << what << "\n" << after;
            const char* said = signo == SIGTERM  ? "Terminated (SIGTERM)."
                               : signo == SIGHUP ? "Hung up (SIGHUP)."
                                                 : "Interrupted.";
            EXPECT_NE(after.find(said), std::string::npos) << what << "\n" << after;
            // The dump keeps the readings taken before the signal.
            if (c.args.back() == dump) {
                EXPECT_EQ(slurp(dump).rfind("Bulk data for register 0\n", 0), 0u) << what;
            }
        }
    }
}

TEST(CliStopSignals, AReaderThatGoesAwayStopsTheMonitorWithItsHalt) {
    // `monitor | head -n 1`: the monitor (virtual time, no end of its own) writes into a
    // pipe nobody reads any more.
    const std::string stem = ::testing::TempDir() + "evkit_sigpipe_" + std::to_string(::getpid());
    const std::string cmd =
        std::string("bash -c '") + EVKIT_CLI_PATH + " --board sim --trace monitor 2>" + stem +
        ".err | head -n 1 >/dev/null; echo ${PIPESTATUS[0]} >" + stem + ".status' </dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(std::atoi(slurp(stem + ".status").c_str()), 128 + SIGPIPE);
    const std::string err = slurp(stem + ".err");
    const auto closed = err.find("Output closed (SIGPIPE).");
    ASSERT_NE(closed, std::string::npos) << err.substr(err.size() > 2000 ? err.size() - 2000 : 0);
    // The last frame before the end is the halt.
    EXPECT_EQ(err.rfind("> a0 00 00 00 00 00"), err.rfind("> ")) << err.substr(closed - 400);
    std::remove((stem + ".err").c_str());
    std::remove((stem + ".status").c_str());
}

TEST(DesktopStopSignals, SigtermEndsTheDesktopProgramWith143) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Connected to the virtual board (the trace shows its answers), then ended by kill.
    const auto r =
        signalAt({"--board", "sim", "--trace", "--connect"}, "< ", SIGTERM, "", 0, EVKIT_GUI_PATH);
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.err.substr(0, 2000);
    EXPECT_LE(r.seconds, 2.0);
}

TEST(CliStopSignals, TheHelpSaysWhatEachSignalDoes) {
    const auto r = runCli("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("SIGTERM"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SIGHUP"), std::string::npos);
    EXPECT_NE(r.out.find("143"), std::string::npos);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const auto desktop = runShellHelp(EVKIT_GUI_PATH);
    EXPECT_NE(desktop.find("SIGTERM, SIGHUP and Ctrl-C end it"), std::string::npos) << desktop;
}

}  // namespace
