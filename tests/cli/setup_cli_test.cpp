// The setup and register file commands of the command-line program.
#include <gtest/gtest.h>

#include "cli_runner.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include "setup/setup_model.h"

using evkit::test::CliResult;
using evkit::test::runCli;

namespace {

CliResult cli(const std::string& args) { return runCli("--board sim " + args); }

bool has(const std::string& text, const std::string& line) {
    return text.find(line + "\n") != std::string::npos;
}

}  // namespace

TEST(SetupCli, ShowPrintsEveryControlOfTheWindow) {
    const auto r = cli("setup show");
    ASSERT_EQ(r.status, 0) << r.err;
    size_t lines = 0;
    for (char c : r.out) lines += c == '\n';
    size_t controls = 0;
    for (const auto& c : evkit::setup::setupControls())
        controls += c.kind != evkit::setup::ControlKind::Button;
    EXPECT_EQ(lines, controls + 1);  // and which bits 2..3 ring is in force
    EXPECT_TRUE(has(r.out, "SETUP_CONFIG_HEX=0x000001"));
    EXPECT_TRUE(has(r.out, "SETUP_CLOCK_DIVIDER=1"));
    EXPECT_TRUE(has(r.out, "SETUP_CYCLE_COUNT=4000"));
    EXPECT_TRUE(has(r.out, "SETUP_PULSE_RATE=100"));
    EXPECT_TRUE(has(r.out, "SETUP_PULSE_RATE_HEX=0x000190"));
    EXPECT_TRUE(has(r.out, "SETUP_XTAL_SPEED=4.096"));
}

TEST(SetupCli, SetRunsTheEditAndPrintsThatRegistersControls) {
    auto r = cli("setup set SETUP_PULSE_RATE=100.0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "SETUP_PULSE_RATE=100\nSETUP_PULSE_RATE_HEX=0x000190\n");
    r = cli("setup set SETUP_PC1=-1 read 0:0");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "SETUP_CONFIG_HEX=0xff0001\nSETUP_CLOCK_DIVIDER=1\nSETUP_CONFIG_BIT4=0\n"
              "SETUP_CONFIG_BITS11_12=0\nSETUP_CONFIG_BIT15=0\nSETUP_PC1=-1\nword=0xff0001\n");
    r = cli("setup set SETUP_EPSILON=0.5 SETUP_VF_RMS=-0.5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "SETUP_EPSILON_HEX=0x400000"));
    EXPECT_TRUE(has(r.out, "SETUP_VF_RMS_HEX=0xc00000"));
    EXPECT_TRUE(has(r.out, "SETUP_VF_RMS=-0.5"));
}

TEST(SetupCli, BadAssignmentsAreUsageErrorsBeforeAnyTraffic) {
    for (const char* a : {"SETUP_PC1=200", "SETUP_NOPE=1", "SETUP_CONFIG_HEX=0x1000000",
                          "SETUP_STATUS_BIT0=1", "SETUP_TEMP_GAIN=0", "SETUP_PULSE_RATE"}) {
        const auto r = cli(std::string("--trace setup set ") + a);
        EXPECT_EQ(r.status, 2) << a;
        EXPECT_EQ(r.err.find("> "), std::string::npos) << a << r.err;
    }
    EXPECT_EQ(cli("setup set").status, 2);
    EXPECT_EQ(cli("setup show SETUP_PC1=1").status, 2);
}

// Bits 2..3 of the operational mode come from one of two rings, chosen by bits 9..10: the
// other ring is refused (it would write nothing of its value), and show says which is in force.
TEST(SetupCli, HiddenBitsTwoThreeRingIsRefusedAndShowNamesTheOneInForce) {
    auto r = cli("--trace setup set SETUP_OPMODE_BITS2_3_A=2");  // selector 0: ring B in force
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("SETUP_OPMODE_BITS2_3_B"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("> 60 "), std::string::npos) << r.err;  // 1:16 not written

    r = cli("setup set SETUP_OPMODE_BITS2_3_B=2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "SETUP_OPMODE_HEX=0x000008")) << r.out;
    EXPECT_TRUE(has(r.out, "SETUP_OPMODE_BITS2_3_IN_FORCE=SETUP_OPMODE_BITS2_3_B")) << r.out;

    r = cli("setup set SETUP_OPMODE_BITS9_10=3 SETUP_OPMODE_BITS2_3_A=1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "SETUP_OPMODE_HEX=0x000604")) << r.out;
    EXPECT_TRUE(has(r.out, "SETUP_OPMODE_BITS2_3_IN_FORCE=SETUP_OPMODE_BITS2_3_A")) << r.out;

    r = cli("write 1:16 0x600 setup show");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "SETUP_OPMODE_BITS2_3_IN_FORCE=SETUP_OPMODE_BITS2_3_A")) << r.out;
}

TEST(SetupCli, ResetRestoresPowerOnValues) {
    const auto r = cli("write 1:14 8 setup reset");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "SETUP_PULSE_RATE=100"));
}

TEST(SetupCli, StoreAndRetrieveRegisterFiles) {
    const std::string path = ::testing::TempDir() + "cli_roundtrip.rsf";
    std::remove(path.c_str());
    auto r = cli("write 0:26 0x00abcd registers store " + path +
                 " write 0:26 0x000001 registers "
                 "retrieve " +
                 path + " read 0:26");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "word=0x00abcd\n");
    EXPECT_NE(r.err.find("File Stored"), std::string::npos);
    EXPECT_NE(r.err.find("File Retrieved"), std::string::npos);

    std::ofstream(path, std::ios::trunc) << "Header 1 2 3\n";
    r = cli("--trace registers retrieve " + path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR: Incompatible Data File"), std::string::npos);
    EXPECT_EQ(r.err.find("File Retrieved"), std::string::npos);
    // Only the board's opening traffic: no register write.
    EXPECT_EQ(r.err.find("> 40 "), std::string::npos) << r.err;
}
