#include <gtest/gtest.h>

#include "board/connection.h"
#include "sim/variants.h"
#include "sim_rig.h"

using namespace evkit;
using evkit::test::SimRig;

TEST(Identification, EveryVariantGivesItsDeviceCode) {
    for (const auto& v : sim::variants()) {
        SimRig rig(v.name);
        ASSERT_EQ(rig.open(), 0) << v.name;
        EXPECT_EQ(autodetect_device(rig.link).chip, v.expectedChip) << v.name;
    }
}

TEST(Identification, LabelsAndMessagesFollowTheTable) {
    struct Row {
        const char* variant;
        const char* label;  // nullptr: no label text (the label is blank)
        const char* title;  // nullptr: no message
        const char* text;
    };
    const Row rows[] = {
        {"PM7010A", nullptr, "Device Detected", "Connected to PM7010A"},
        {"PM7011A-A", "PM7011A Rev A", nullptr, nullptr},
        {"PM7011A-B", nullptr, "Device Detected", "Connected to PM7011A Rev B"},
        {"PM7013-A", nullptr, "Device Detected", "Connected to PM7013 Rev A"},
        {"PM7013-C", "PM7013 Rev C", "Device Detected",
         "Please note that this software does not support this device. Please contact factory."},
        {"PM7014-C", "PM7014 Rev C", nullptr, nullptr},
        {"PM7014-C1", "PM7014 Rev C1", nullptr, nullptr},
        {"PM7017-C1", "PM7017 Rev C1", nullptr, nullptr},
        {"UNKNOWN", nullptr, "Note", "The device is not recognized."},
    };
    for (const auto& r : rows) {
        SimRig rig(r.variant);
        ASSERT_EQ(rig.open(), 0);
        const auto id = autodetect_device(rig.link);
        EXPECT_EQ(id.label, r.label ? r.label : "") << r.variant;
        if (r.title) {
            ASSERT_EQ(rig.messages.shown.size(), 1u) << r.variant;
            EXPECT_EQ(rig.messages.shown[0].first, r.title);
            EXPECT_EQ(rig.messages.shown[0].second, r.text);
        } else {
            EXPECT_TRUE(rig.messages.shown.empty()) << r.variant;
        }
    }
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
