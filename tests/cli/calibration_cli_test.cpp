// calibrate, calibration, temperature and pulse as a user runs them.
#include <gtest/gtest.h>

#include "cli_runner.h"
#include "text_search.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

using evkit::test::count;
using evkit::test::has;
using evkit::test::runCli;

namespace {}  // namespace

TEST(CalibrationCli, CalibratePrintsEachRegisterReadBack) {
    auto r = runCli("--board sim --trace calibrate gain v1 --gain-mode 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.err, "> 92 00 00 00 00 00"));
    EXPECT_TRUE(has(r.out, "V1_AC_Gain=0x")) << r.out;
    EXPECT_TRUE(has(r.out, "V1_AC_Gain_value=")) << r.out;

    r = runCli("--board sim --trace calibrate gain v1");
    EXPECT_TRUE(has(r.err, "> b2 00 00 00 00 00"));

    r = runCli("--board sim calibrate dc-offset all");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto v1 = r.out.find("V1_DC_Offset="), i1 = r.out.find("I1_DC_Offset="),
               v2 = r.out.find("V2_DC_Offset="), i2 = r.out.find("I2_DC_Offset=");
    ASSERT_NE(i2, std::string::npos) << r.out;
    EXPECT_TRUE(v1 < i1 && i1 < v2 && v2 < i2) << r.out;
}

TEST(CalibrationCli, ShowAndWriteRegisters) {
    auto r = runCli("--board sim calibration write I2_AC_Gain 0xc00000 calibration show");
    ASSERT_EQ(r.status, 0) << r.err;
    // One number for the word, after the word entry and after the refresh.
    EXPECT_EQ(r.out.find("I2_AC_Gain=0xc00000\nI2_AC_Gain_value=3\n"), 0u) << r.out;
    EXPECT_TRUE(has(r.out, "I2_AC_Gain=0xc00000\nI2_AC_Gain_value=3\n")) << r.out;
    int lines = 0;
    for (char c : r.out) lines += c == '\n';
    EXPECT_EQ(lines, 2 + 28);
}

TEST(CalibrationCli, TemperatureActions) {
    auto r = runCli("--board sim temperature show");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "gain_word=0x200000\ngain_value=0.406900878906\noffset_word=0x000000\n"
              "offset_value=0\nscale=down\n");

    // Up twice in one run, and once more in a later run: the gain and offset are scaled once
    // (g = 16 x 1.8 = 28.8, word 0x399999; o = 0.5 + 0.00486693763922).
    r = runCli(
        "--board sim --trace temperature offset-word 0x400000 temperature scale up temperature "
        "scale up");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "offset_value=416.6665\n")) << r.out;
    EXPECT_EQ(count(r.err, "> 6c "), 1) << r.err;  // 1:22 written once
    EXPECT_EQ(count(r.err, "> 6e "), 2) << r.err;  // 1:23: the offset-word, then the scale
    EXPECT_TRUE(has(r.out, "gain_word=0x399999\n")) << r.out;
    EXPECT_FALSE(has(r.out, "gain_word=0x67ae14")) << r.out;  // 28.8 x 1.8: scaled twice
    EXPECT_TRUE(has(r.out, "scale=up\n")) << r.out;
    // The up word reads back as up: asking for it in a run of its own writes nothing either.
    r = runCli("--board sim --trace write 1:22 0x399999 temperature scale up");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(r.err, "> 6c "), 1) << r.err;  // only the write command's
    EXPECT_TRUE(has(r.out, "scale=up\n")) << r.out;

    // A value the registers cannot hold is a usage error, as a setup control's is: refused
    // before anything is sent (the refusal of setup set SETUP_TEMP_GAIN=0 exits 2 as well).
    for (const char* refused :
         {"temperature gain 0", "temperature gain 1e6", "temperature gain -1e6",
          "temperature offset 900", "setup set SETUP_TEMP_GAIN=0"}) {
        r = runCli(std::string("--board sim --trace ") + refused);
        EXPECT_EQ(r.status, 2) << refused;
        EXPECT_EQ(r.out, "") << refused;
        EXPECT_FALSE(has(r.err, "> ")) << refused << r.err;
    }
    r = runCli("--board sim temperature gain 0");
    EXPECT_TRUE(has(r.err, "value of 0")) << r.err;
    // A quick-set depends on the device's offset: beyond the register it fails (exit 1)
    // with nothing written and nothing shown as the device's.
    r = runCli("--board sim --trace write 1:23 0x7ff000 temperature quick-set 1e6");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(count(r.err, "> 6e "), 1) << r.err;  // the write command's only
    EXPECT_TRUE(has(r.err, "Nothing was written")) << r.err;

    r = runCli("--board sim temperature offset -416.6665 temperature quick-set 0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "offset_word=0xc00000\n")) << r.out;

    for (const char* bad : {"temperature", "temperature gain", "temperature scale sideways",
                            "temperature gain-word 0x1000000", "temperature offset x"}) {
        r = runCli(std::string("--board sim --trace ") + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_FALSE(has(r.err, "> ")) << bad;
    }
}

// Choosing the scale already in force writes nothing: one gain write and one offset write
// for the first "scale up" only, and both runs report the same words.
TEST(CalibrationCli, PulsePrintsOneLinePerCount) {
    auto r = runCli("--board sim write 1:19 400 pulse --time 1.0 --repeat 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "cycle_count=400\n"));
    EXPECT_TRUE(has(r.out, "count=1 c1="));
    EXPECT_TRUE(has(r.out, "count=3 c1="));
    EXPECT_TRUE(has(r.out, " sd3="));
    EXPECT_FALSE(has(r.out, "\ncount=4"));

    r = runCli("--board sim pulse --time 1.0 --repeat 2");  // N = 4000: dead time 2 s
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "longer than 2 s")) << r.err;

    r = runCli("--board sim --trace pulse --time 1.0 --repeat 0");
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(has(r.err, "> f6"));
}
