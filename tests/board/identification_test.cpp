#include <gtest/gtest.h>

#include "board/connection.h"
#include "sim/variants.h"
#include "sim_rig.h"
#include "variant_table.h"

using namespace evkit;
using evkit::test::SimRig;

TEST(Identification, EveryVariantGivesItsCodeLabelAndMessage) {
    for (const auto& v : test::kEveryVariant) {
        SCOPED_TRACE(v.variant);
        SimRig rig(v.variant);
        ASSERT_EQ(rig.open(), 0);
        const auto id = autodetect_device(rig.link);
        EXPECT_EQ(id.chip, v.chip);
        EXPECT_EQ(id.label, v.label ? v.label : "");
        if (v.title) {
            ASSERT_EQ(rig.messages.shown.size(), 1u);
            EXPECT_EQ(rig.messages.shown[0].first, v.title);
            EXPECT_EQ(rig.messages.shown[0].second, v.text);
        } else {
            EXPECT_TRUE(rig.messages.shown.empty());
        }
    }
    EXPECT_EQ(std::size(test::kEveryVariant), sim::variants().size());
}

TEST(Identification, PM7010AIsFoundWithoutReadingTheIdentificationWord) {
    SimRig rig("PM7010A");
    ASSERT_EQ(rig.open(), 0);
    rig.takeFrames();
    autodetect_device(rig.link);
    EXPECT_EQ(rig.takeFrames(), (std::vector<std::string>{"7e 00 00 00 00 00", "1e 00 00 00 00 00"}));
}

// A failed read of the identification sequence identifies nothing: code 0, no label and
// "The device is not recognized.", never the device its placeholder word 0 would name.
TEST(Identification, AFailedReadIsNotRecognized) {
    struct Case {
        const char* variant;
        // Reads that work; the board is then gone, so the exchange after the last of them
        // fails: 0 the 0:15 read, 1 the 65:0 read, 2 its page restore, 3 that of 5:11.
        int readsBeforeFailure;
    };
    const Case cases[] = {
        {"PM7014-C1", 3},  // 5:11 fails: its word 0 would name the PM7017 Rev C1
        {"PM7017-C1", 3}, {"PM7014-C1", 2}, {"PM7014-C", 1}, {"PM7014-C", 0}, {"PM7010A", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.variant) + " after " + std::to_string(c.readsBeforeFailure));
        SimRig rig(c.variant);
        ASSERT_EQ(rig.open(), 0);
        if (c.readsBeforeFailure == 0)
            rig.board.failNextRead();
        else
            rig.board.unplugAfterReads(c.readsBeforeFailure);
        const auto id = autodetect_device(rig.link);
        EXPECT_EQ(id.chip, 0);
        EXPECT_EQ(id.label, "");
        EXPECT_TRUE(rig.messages.contains("The device is not recognized."));
        EXPECT_FALSE(rig.messages.contains("Connected to PM7010A"));
    }
}

TEST(Identification, UnknownRevisionOfTheC1Word) {
    SimRig rig("PM7014-C1");
    ASSERT_EQ(rig.open(), 0);
    rig.board.device().setReg(5, 11, 0x801);
    EXPECT_EQ(autodetect_device(rig.link).chip, 0);
    EXPECT_TRUE(rig.messages.contains("The device is not recognized."));
}

TEST(Identification, BoardIdStringsStartAtEachByte) {
    SimRig rig;
    ASSERT_EQ(rig.open(), 0);
    const auto ids = query_board_id(rig.link);
    EXPECT_EQ(ids[0], "714");
    EXPECT_EQ(ids[1], "14");
    EXPECT_EQ(ids[2], "4");
}

TEST(Connection, OpenFailures) {
    {
        SimRig rig;
        rig.board.unplug();
        EXPECT_NE(rig.open(), 0);
        EXPECT_TRUE(rig.messages.contains(
            "USB connection error. Ensure proper USB connection and power. Reset the board and "
            "setup again."));
        EXPECT_EQ(rig.link.cyHandle, 0u);
    }
    {
        SimRig rig;
        rig.board.failNextDeviceCount();
        EXPECT_NE(rig.open(), 0);
    }
    {
        SimRig rig;
        ASSERT_EQ(rig.open(), 0);
        EXPECT_EQ(rig.session.DeviceString, "EVKIT714 Virtual Board");
        EXPECT_NE(rig.link.cyHandle, 0u);
    }
}
