// The monitor under injected write and flush failures: whatever operation of the run fails,
// the failure is said, no update is printed after it, the board gets its halt, and the exit
// status is 1.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct MergedRun {
    int status = -1;
    std::string lines;  // stdout and stderr as they were written, the trace included
};

MergedRun runMerged(const std::string& args) {
    MergedRun r;
    FILE* p = popen((std::string(EVKIT_CLI_PATH) + " " + args + " 2>&1 </dev/null").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.lines.append(buf, n);
    r.status = WEXITSTATUS(pclose(p));
    return r;
}

int count(const std::string& text, const std::string& what, std::size_t from = 0) {
    int n = 0;
    for (auto at = text.find(what, from); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(MonitorFaults, EveryWriteOrFlushFailureEndsTheRunWithStatusOne) {
    // Transport operations of "monitor --count 3 --updates 5" on the virtual board: 1-4
    // open it, the set-up reads and the start frame follow, the run polls and reads up to
    // about 29850, the halt and the close come last.
    // 29000 is the row first reported; the last rows fail the final refresh and the halt.
    std::vector<int> operations = {5, 3001, 9013, 15017, 21023, 27031, 29000};
    for (int op = 29850; op <= 29857; ++op) operations.push_back(op);
    int failures = 0;
    for (const char* kind : {"fail-write", "fail-flush"}) {
        for (const int op : operations) {
            const std::string what = std::string(kind) + "@" + std::to_string(op);
            const MergedRun r =
                runMerged("--board sim --trace --fault " + what + " monitor --count 3 --updates 5");
            const auto failed = r.lines.find("Error Message:");
            if (failed == std::string::npos) {
                // A fault armed after the run's last write or flush changes nothing.
                EXPECT_EQ(r.status, 0) << what << "\n" << r.lines.substr(r.lines.size() - 400);
                EXPECT_EQ(count(r.lines, "\nupdate="), 5) << what;
                continue;
            }
            ++failures;
            EXPECT_EQ(r.status, 1) << what;
            // Nothing printed after the failure passes for the device's values.
            EXPECT_EQ(count(r.lines, "update=", failed), 0) << what << "\n"
                                                            << r.lines.substr(failed);
            const int printed = count(r.lines, "\nupdate=");
            const auto started = r.lines.find("> f9 00 00 00 00 00");
            if (started < failed && printed < 5) {
                // A refresh failed: the run is cut short, says so, and rests the board.
                EXPECT_NE(r.lines.find("The monitor stopped after " + std::to_string(printed) +
                                           " of 5 updates.",
                                       failed),
                          std::string::npos)
                    << what;
                EXPECT_NE(r.lines.find("> a0 00 00 00 00 00", failed), std::string::npos)
                    << what << "\n"
                    << r.lines.substr(failed);
            }
        }
    }
    // The table reaches the failures it is about (and the faults after the run).
    EXPECT_GE(failures, 25);
}

}  // namespace
