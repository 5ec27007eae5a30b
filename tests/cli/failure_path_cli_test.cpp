// Failure paths a script meets: a step that fails half-way through a change, a write whose
// read-back still says what the device holds, one exit status per kind of refusal, and
// messages that name what the command line offers.
#include <gtest/gtest.h>

#include <string>

#include "cli_runner.h"
#include "text_search.h"

using evkit::test::count;
using evkit::test::has;
using evkit::test::runCli;

namespace {

// The up scale of the power-on words: gain 0x200000 (g = 16) times 1.8 is 0x399999, and the
// offset 0 plus 0.00486693763922 is 0x009f7a.
constexpr const char* kUpGain = "0x399999";
constexpr const char* kUpOffset = "0x009f7a";

TEST(FailurePathCli, TemperatureScaleChangeNeverLeavesHalfAPair) {
    // The gain's read-back fails (operation 24): the offset is still written, the gain read
    // again, and what is printed is what the device holds.
    auto r = runCli("--board sim --trace --fault fail-read@24 temperature scale up");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "USB Read Error")) << r.err;
    EXPECT_EQ(count(r.err, "> 6c "), 1) << r.err;
    EXPECT_TRUE(has(r.err, "> 6e 7a 9f 00 00 00")) << r.err;  // the up-scale offset
    EXPECT_EQ(r.values["gain_word"], kUpGain) << r.out;
    EXPECT_EQ(r.values["offset_word"], kUpOffset) << r.out;
    EXPECT_EQ(r.values["scale"], "up") << r.out;

    // The offset's write fails: the previous gain is written back and shown, with the scale
    // that is still in force.
    r = runCli("--board sim --trace --fault fail-write@34 temperature scale up");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "USB Write Error.")) << r.err;
    EXPECT_TRUE(has(r.err, "> 6c 99 99 39 00 00")) << r.err;
    EXPECT_TRUE(has(r.err, "> 6c 00 00 20 00 00")) << r.err;  // the old gain back
    EXPECT_EQ(r.values["gain_word"], "0x200000") << r.out;
    EXPECT_EQ(r.values["offset_word"], "0x000000") << r.out;
    EXPECT_EQ(r.values["scale"], "down") << r.out;
}

TEST(FailurePathCli, SetupEditWithAFailedWriteShowsTheReadBackAndFails) {
    auto r = runCli("--board sim --fault fail-write@121 setup set SETUP_CONFIG_HEX=0x123");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "USB Write Error.")) << r.err;
    // The write did not reach the device: the read-back shows the word it still holds.
    EXPECT_EQ(r.values["SETUP_CONFIG_HEX"], "0x000001") << r.out;
    EXPECT_EQ(r.values["SETUP_CLOCK_DIVIDER"], "1") << r.out;
}

TEST(FailurePathCli, EveryAssignmentIsCheckedBeforeTheFirstWrite) {
    // The ring is hidden by bits 9..10: nothing is written, not even the pulse rate before it.
    auto r = runCli("--board sim --trace setup set SETUP_PULSE_RATE=7 SETUP_OPMODE_BITS2_3_A=2");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r.err, "SETUP_OPMODE_BITS2_3_A is not in force")) << r.err;
    EXPECT_FALSE(has(r.err, "> 5c ")) << r.err;  // 1:14, the pulse rate
    EXPECT_EQ(r.out, "");
    // A selector set earlier on the same line puts the ring in force for what follows, by
    // its field or by the whole word.
    r = runCli("--board sim setup set SETUP_OPMODE_BITS9_10=3 SETUP_OPMODE_BITS2_3_A=2");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.values["SETUP_OPMODE_BITS2_3_A"], "2") << r.out;
    r = runCli("--board sim setup set SETUP_OPMODE_HEX=0x600 SETUP_OPMODE_BITS2_3_A=1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.values["SETUP_OPMODE_BITS2_3_A"], "1") << r.out;
    r = runCli("--board sim setup set SETUP_OPMODE_BITS9_10=3 SETUP_OPMODE_BITS2_3_B=1");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r.err, "SETUP_OPMODE_BITS2_3_B is not in force")) << r.err;
}

TEST(FailurePathCli, EepromFlushFailureSaysWhatFailed) {
    const auto r = runCli("--board sim --fault fail-flush@5 eeprom write 1 2 3");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(has(r.err, "flushing the board's buffers failed")) << r.err;
    EXPECT_FALSE(has(r.err, "EEPROM write failed: 3 of 3 bytes written")) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(FailurePathCli, TooFewFftSamplesNameTheOptionAndSendNothing) {
    for (const char* n : {"16", "32"}) {
        const auto r =
            runCli(std::string("--board sim --trace fft --pair 1 --average 1 --samples ") + n);
        EXPECT_EQ(r.status, 2) << n;
        EXPECT_TRUE(has(r.err, "Sample Size too Small, Increase it using --samples")) << r.err;
        EXPECT_FALSE(has(r.err, "Settings")) << r.err;
        EXPECT_FALSE(has(r.err, "> ")) << r.err;
    }
}

}  // namespace
