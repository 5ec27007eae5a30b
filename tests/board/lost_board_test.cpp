// A board that disappears part-way through a sequence of reads is reported once, and the
// sequence stops there instead of failing (and saying so) read after read.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "board/connection.h"
#include "board/usb_id.h"
#include "calibration/calibration.h"
#include "registers/register_file.h"
#include "registers/word.h"
#include "setup/setup_model.h"
#include "sim_rig.h"

namespace evkit {
namespace {

int lostMessages(const RecordingMessages& m) {
    int n = 0;
    for (const auto& [title, text] : m.shown) n += text == msg::kConnectionLost;
    return n;
}

TEST(LostBoard, SaidOnceBySequencesAndOnlyTheirFirstLoss) {
    struct Case {
        const char* name;
        std::function<int(test::SimRig&)> run;
    };
    const std::string rsf = ::testing::TempDir() + "evkit_lost.rsf";
    std::ofstream(rsf) << "H 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n";
    const Case cases[] = {
        {"setup refresh",
         [](test::SimRig& rig) {
             setup::SetupModel model(rig.session, rig.messages);
             const int s = model.Refresh_Setup();
             // The first read worked; the values after the loss are marked as not read.
             EXPECT_EQ(s, 0);
             EXPECT_NE(model.refreshFailure(), 0);
             EXPECT_FALSE(model.wasRead(*setup::findSetupControl("SETUP_CYCLE_COUNT")));
             EXPECT_TRUE(model.wasRead(*setup::findSetupControl("SETUP_XTAL_SPEED")));
             return model.refreshFailure();
         }},
        {"identification",
         [](test::SimRig& rig) {
             const auto id = autodetect_device(rig.link);
             EXPECT_EQ(id.chip, 0);
             return id.status;
         }},
        {"register settings file",
         [&rsf](test::SimRig& rig) { return retrieveRegisterFile(rig.link, rig.messages, rsf); }},
    };
    for (const auto& c : cases) {
        test::SimRig rig;
        ASSERT_EQ(rig.open(), 0);
        // Gone after the first answer (the register file only writes: gone at once).
        if (c.name == std::string("register settings file"))
            rig.board.unplug();
        else
            rig.board.unplugAfterReads(1);
        EXPECT_NE(c.run(rig), 0) << c.name;
        EXPECT_EQ(lostMessages(rig.messages), 1) << c.name;
        // Nothing more is sent once the board is gone (the register file then says it
        // failed; the identification that nothing was recognized).
        const bool reportsAfter = c.name == std::string("register settings file") ||
                                  c.name == std::string("identification");
        EXPECT_EQ(rig.messages.shown.size(), reportsAfter ? 2u : 1u) << c.name;
        // Outside a sequence every command reports for itself again.
        std::int32_t w = 0;
        EXPECT_NE(rig.link.readRegister(0, 0, &w), 0);
        EXPECT_EQ(lostMessages(rig.messages), 2) << c.name;
    }
}

TEST(ParseInteger, SixteenHexDigitsBeyondTheRangeAreRefusedNotWrapped) {
    EXPECT_FALSE(parseInteger("0xffffffffffffffff"));
    EXPECT_FALSE(parseInteger("0x8000000000000000"));
    EXPECT_FALSE(parseInteger("-0x8000000000000000"));
    EXPECT_EQ(parseInteger("0x7fffffffffffffff"), INT64_MAX);
    EXPECT_EQ(parseInteger("-0x7fffffffffffffff"), -INT64_MAX);
    EXPECT_EQ(parseInteger("9999999999999999"), 9999999999999999LL);
}

TEST(RegisterFile, DecimalOnly) {
    for (const char* bad : {"+0x10", "-0x10", "0x10", "1e3", "0b1", "12abc"}) {
        std::istringstream in(std::string("H ") + bad + " 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17");
        EXPECT_FALSE(parseRegisterFile(in)) << bad;
    }
    std::istringstream in("H +16 -1 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17");
    const auto w = parseRegisterFile(in);
    ASSERT_TRUE(w);
    EXPECT_EQ((*w)[0], 16u);
    EXPECT_EQ((*w)[1], 0xFFFFFFu);
}

TEST(UsbStrings, ControlCharactersAreEscapedForTheListing) {
    EXPECT_EQ(escapeUsbString("EVKIT714 Board"), "EVKIT714 Board");
    EXPECT_EQ(escapeUsbString("a\nboard=forged\r\x1b[2J"), "a\\x0aboard=forged\\x0d\\x1b[2J");
    EXPECT_EQ(escapeUsbString("q\"\\\xff"), "q\\x22\\x5c\\xff");
}

}  // namespace
}  // namespace evkit
