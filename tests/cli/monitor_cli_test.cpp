// The monitor, line-frequency and tmeas commands as a user runs them.
#include <gtest/gtest.h>

#include "cli_runner.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

using evkit::test::CliResult;
using evkit::test::runCli;

namespace {

std::string value(const std::string& out, const std::string& key, size_t from = 0) {
    const auto at = out.find("\n" + key + "=", from);
    if (at == std::string::npos) return "";
    const auto start = at + key.size() + 2;
    return out.substr(start, out.find('\n', start) - start);
}

int occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(MonitorCli, UpdatesPrintTheTwentyQuantitiesStatisticsAndLineFrequency) {
    const auto r = runCli("--board sim monitor --count 3 --updates 2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("update=1\nV1RMS=", 0), 0u) << r.out;
    EXPECT_EQ(occurrences(r.out, "update="), 2);
    for (const char* q : {"V1RMS",  "I1RMS",  "P1AVG",   "S1",      "Q1AVG",   "PF1",   "V1PEAK",
                          "I1PEAK", "V2RMS",  "I2RMS",   "P2AVG",   "S2",      "Q2AVG", "PF2",
                          "V2PEAK", "I2PEAK", "EXTRA_1", "EXTRA_2", "EXTRA_3", "T"}) {
        EXPECT_EQ(occurrences(r.out, std::string("\n") + q + "="), 2) << q;
        EXPECT_EQ(occurrences(r.out, std::string("\n") + q + "_AVG="), 2) << q;
        EXPECT_EQ(occurrences(r.out, std::string("\n") + q + "_SD="), 2) << q;
    }
    EXPECT_NEAR(std::stod(value(r.out, "LINE_FREQ")), 50.0, 0.1);
    EXPECT_NEAR(std::stod(value(r.out, "PF1")), 0.866, 0.01);
    // Display order: V1RMS first, T last of the quantities.
    EXPECT_LT(r.out.find("\nV1RMS="), r.out.find("\nI1RMS="));
    EXPECT_LT(r.out.find("\nEXTRA_3="), r.out.find("\nT="));

    // --single stops after one update even when more were asked for.
    const auto one = runCli("--board sim monitor --count 3 --updates 3 --single");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(occurrences(one.out, "update="), 1);
    EXPECT_EQ(occurrences(one.out, "_AVG="), 20);
}

TEST(MonitorCli, LogWritesHeaderFromTheDeviceAndOneLinePerUpdate) {
    const std::string path = ::testing::TempDir() + "monitor_cli_log.txt";
    // The device line names the identified device.
    const auto r = runCli("--board sim:PM7013-B monitor --updates 3 --log " + path);
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    EXPECT_EQ(text.rfind("Device=PM7013\n\nI1_Gain=0,I1_HPF=0,V1_HPF=0,PC1=0,V1_DC_Offset=", 0), 0u)
        << text;
    EXPECT_NE(text.find("\nI2_Gain=0,I2_HPH=0,"), std::string::npos);
    EXPECT_NE(text.find("I2_AC_Offset=0.000000\n\nn,V1rms,"), std::string::npos);
    EXPECT_NE(text.find("\n1,"), std::string::npos);
    EXPECT_NE(text.find("\n3,"), std::string::npos);
    EXPECT_EQ(text.find("\n4,"), std::string::npos);
    // 19 fields and a trailing comma.
    const auto line = text.substr(text.find("\n2,") + 1);
    EXPECT_EQ(occurrences(line.substr(0, line.find('\n')), ","), 19);
}

TEST(MonitorCli, LineFrequencyTmeasAndUsageErrors) {
    auto r = runCli("--board sim --trace line-frequency 60");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "LINE_FREQ=60.000000\nepsilon=0x01eb85\n");
    EXPECT_NE(r.err.find("> 62 85 eb 01 00 00"), std::string::npos);

    r = runCli("--board sim write 1:16 1 line-frequency 50");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot set the Line Frequency when the AFC flag is enabled."),
              std::string::npos);

    r = runCli("--board sim tmeas 2 monitor --updates 4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(occurrences(r.out, "TMEAS="), 3);  // the entry, then 1 and 0
    EXPECT_NE(r.out.find("\nTMEAS=0\n"), std::string::npos);

    // Frequencies whose word would not fit 23 bits (above the word rate) are refused with a
    // message and nothing is written to 1:17.
    for (const char* refused :
         {"line-frequency 4001", "line-frequency 5000", "write 0:0 8 line-frequency 600",
          "write 0:0 10 line-frequency 401"}) {
        r = runCli(std::string("--board sim --trace ") + refused);
        EXPECT_EQ(r.status, 1) << refused;
        EXPECT_EQ(r.err.find("> 62 "), std::string::npos) << refused;
        EXPECT_NE(r.err.find("Cannot set the Line Frequency"), std::string::npos) << refused;
        EXPECT_EQ(r.out.find("LINE_FREQ="), std::string::npos) << refused;
    }
    // The edges keep the formula's words: the word rate itself (the float oscillator makes
    // it 0x7ffffe), and K = 0, whose word is 0.
    for (const auto& [edge, frame] :
         {std::pair{"write 0:0 10 line-frequency 400", "> 62 fe ff 7f 00 00"},
          std::pair{"line-frequency 4000", "> 62 fe ff 7f 00 00"},
          std::pair{"write 0:0 0 line-frequency 50", "> 62 00 00 00 00 00"}}) {
        r = runCli(std::string("--board sim --trace ") + edge);
        EXPECT_EQ(r.status, 0) << edge << r.err;
        EXPECT_NE(r.err.find(frame), std::string::npos) << edge << r.err;
        EXPECT_NE(r.out.find("LINE_FREQ="), std::string::npos) << edge;
    }

    for (const char* bad :
         {"monitor --count 0", "monitor --count 1001", "monitor --updates -1", "line-frequency abc",
          "line-frequency -5", "line-frequency 0", "tmeas 16777216"}) {
        const auto u = runCli(std::string("--board sim --trace ") + bad);
        EXPECT_EQ(u.status, 2) << bad;
        EXPECT_EQ(u.err.find("> "), std::string::npos) << bad;
    }
}

TEST(MonitorCli, CycleCountTooLowFails) {
    const auto r = runCli("--board sim write 1:19 399 monitor --single");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Please go to Menu, Setup Window, set Cycle Count > 400 decimal"),
              std::string::npos);
}
