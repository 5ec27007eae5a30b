// The board command layer on the virtual board: frames, page rules, failures, 246, 248.
#include <gtest/gtest.h>

#include "board/board_link.h"
#include "sim/calibration_model.h"
#include "sim/pulse_model.h"
#include "sim_rig.h"

using namespace evkit;
using evkit::test::SimRig;
using Frames = std::vector<std::string>;

class FunUsb : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.takeFrames();
    }
    SimRig rig;
};

TEST_F(FunUsb, ReadOnPageZeroSelectsPageAndDoesNotRestore) {
    std::int32_t word = -1;
    ASSERT_EQ(rig.link.readRegister(0, 15, &word), 0);
    EXPECT_EQ(rig.takeFrames(), (Frames{"7e 00 00 00 00 00", "1e 00 00 00 00 00"}));
    EXPECT_EQ(word & ~0xFFFFFF, 0);
}

TEST_F(FunUsb, WriteOnPageOneSelectsWritesAndRestores) {
    ASSERT_EQ(rig.link.writeRegister(1, 22, 0x123456), 0);
    EXPECT_EQ(rig.takeFrames(),
              (Frames{"7e 01 00 00 00 00", "6c 56 34 12 00 00", "7e 00 00 00 00 00"}));
    std::int32_t word = 0;
    ASSERT_EQ(rig.link.readRegister(1, 22, &word), 0);
    EXPECT_EQ(word, 0x123456);
}

TEST_F(FunUsb, EveryCommandWaitsTenMilliseconds) {
    const double before = rig.clock.now();
    rig.link.sendCommand(0xA0);
    rig.link.sendCommand(0x80);
    EXPECT_NEAR(rig.clock.now() - before, 0.02, 1e-9);
}

TEST_F(FunUsb, WideReadReturnsAll32Bits) {
    std::int32_t word = 0;
    ASSERT_EQ(rig.link.readRegister(65, 0, &word, 32), 0);
    EXPECT_EQ(static_cast<std::uint32_t>(word), 0x50D76050u);
    EXPECT_EQ(rig.takeFrames(),
              (Frames{"7e 41 00 00 00 00", "00 00 00 00 00 01", "7e 00 00 00 00 00"}));
    ASSERT_EQ(rig.link.readRegister(65, 0, &word), 0);
    EXPECT_EQ(word, 0xD76050);  // 24-bit read: bits 24..31 are 0
}

TEST_F(FunUsb, Bit31SuppressesPageFrames) {
    rig.link.Fun_USB(static_cast<std::int32_t>(0x80000000u | (1 << 8) | (0x40 + 2 * 12)), 0xFF,
                     0xFF, 0, 24, nullptr);
    EXPECT_EQ(rig.takeFrames(), (Frames{"58 ff ff 00 00 00"}));
}

TEST_F(FunUsb, DeviceCommandClassesAtTheirEdges) {
    const std::pair<int, bool> rows[] = {
        {0x80, true},  {0x81, true},  {0x8F, true},  {0x90, true},  {0xA0, true},  {0xAF, true},
        {0xB2, true},  {0xBF, true},  {0xC0, true},  {0xC1, false}, {0xD0, false}, {0xDF, false},
        {0xE0, true},  {0xE1, false}, {0xE8, true},  {0xE9, false}, {0xF3, false}, {0xF4, true},
        {0xF7, false}, {0xF9, false}, {0xFD, false}, {0xFE, true},  {0xFF, true},
    };
    for (const auto& [b, sent] : rows) {
        rig.messages.shown.clear();
        EXPECT_EQ(rig.link.sendCommand(b), 0) << b;  // a refused byte still returns 0
        char expect[32];
        std::snprintf(expect, sizeof expect, "%02x 00 00 00 00 00", b);
        EXPECT_EQ(rig.takeFrames(), sent ? Frames{expect} : Frames{}) << b;
        if (sent) {
            EXPECT_TRUE(rig.messages.shown.empty()) << b;
        } else {
            ASSERT_EQ(rig.messages.shown.size(), 1u) << b;
            EXPECT_EQ(rig.messages.shown[0].first, "Error, Command Not Valid!");
            EXPECT_EQ(rig.messages.shown[0].second, "The command is not supported");
        }
    }
}

TEST_F(FunUsb, UnsupportedByteOnPageTwoStillSelectsAndRestoresPage) {
    EXPECT_EQ(rig.link.Fun_USB((2 << 8) | 63, 0, 0, 0, 24, nullptr), 0);
    EXPECT_EQ(rig.takeFrames(), (Frames{"7e 02 00 00 00 00", "7e 00 00 00 00 00"}));
    EXPECT_TRUE(rig.messages.contains("The command is not supported"));
}

TEST_F(FunUsb, BoardQueryReturnsThreeBytes) {
    std::int32_t word = 0;
    ASSERT_EQ(rig.link.Fun_USB(245, 0, 0, 0, 24, &word), 0);
    EXPECT_EQ(word, '7' | ('1' << 8) | ('4' << 16));
    EXPECT_EQ(rig.takeFrames(), (Frames{"f5 00 00 00 00 00"}));
}

TEST_F(FunUsb, FailingFlushSendsNothingAndReportsLostConnection) {
    int lost = 0;
    rig.link.onConnectionLost = [&] { ++lost; };
    rig.board.failNextFlush();
    EXPECT_NE(rig.link.readRegister(0, 0, nullptr), 0);
    EXPECT_TRUE(rig.takeFrames().empty());
    EXPECT_EQ(lost, 1);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "Error Message");
    EXPECT_EQ(rig.messages.shown[0].second,
              "USB connection error. Ensure proper USB connection and power. Reset the board, "
              "go to Setup menu and re-setup USB connection.");
}

TEST_F(FunUsb, FailedWriteOfPageSelectStops) {
    rig.board.failNextWrite();
    EXPECT_NE(rig.link.writeRegister(1, 22, 1), 0);
    EXPECT_TRUE(rig.takeFrames().empty());
    EXPECT_TRUE(rig.messages.contains("USB Write Error."));
}

TEST_F(FunUsb, FailedReadOnPageOneLeavesPageSelected) {
    rig.board.failNextRead();
    std::int32_t word = 77;
    EXPECT_NE(rig.link.readRegister(1, 19, &word), 0);
    EXPECT_EQ(word, 77);  // written only on success
    EXPECT_EQ(rig.takeFrames(), (Frames{"7e 01 00 00 00 00", "26 00 00 00 00 00"}));
    EXPECT_TRUE(rig.messages.contains("USB Read Error"));
    EXPECT_EQ(rig.board.device().page, 1);
}

TEST_F(FunUsb, ReadTimeOutIsAReadError) {
    rig.board.stall(true);
    const double before = rig.clock.now();
    EXPECT_NE(rig.link.readRegister(0, 0, nullptr), 0);
    EXPECT_TRUE(rig.messages.contains("USB Read Error"));
    EXPECT_NEAR(rig.clock.now() - before, 0.01 + 0.987, 1e-9);  // pacing, then the time-out
}

TEST_F(FunUsb, TimedMeasurementAssemblesWordsInHostOrder) {
    // Different powers on the two channels, so that every input counts differently.
    rig.board.device().signal.inputs[sim::kI2] = {0.05, 0, 0, 0, 0, 0};
    ASSERT_EQ(rig.link.writeRegister(1, 19, 400), 0);  // dead time 0.2 s
    rig.takeFrames();
    const auto f = sim::pulseFrequencies(rig.board.device(), rig.clock.now());
    ASSERT_GT(std::abs(f[0] - f[1]), 10.0);
    std::int32_t counts[3] = {9, 9, 9};
    const double before = rig.clock.now();
    ASSERT_EQ(rig.link.timedMeasurement(50, counts), 0);  // 50 x 20 ms gate
    EXPECT_NEAR(rig.clock.now() - before, 0.01 + 1.0, 1e-9);  // pacing, then the gate
    EXPECT_EQ(rig.takeFrames(), (Frames{"f6 32 00 00 00 00"}));
    // The answer's first word is input 1's count and goes to word 1; word 0 is input 2's.
    EXPECT_NEAR(counts[1], f[0] * 0.8, 1.0);
    EXPECT_NEAR(counts[0], f[1] * 0.8, 1.0);
    EXPECT_NEAR(counts[2], f[2] * 0.8, 1.0);
}

TEST_F(FunUsb, TimedMeasurementCancelSendsHaltAndReturns255) {
    int rounds = 0;
    rig.pump.onProcess = [&] {
        if (++rounds == 3) rig.pump.cancel = true;
    };
    std::int32_t counts[3] = {5, 5, 5};
    EXPECT_EQ(rig.link.timedMeasurement(5000, counts), kStatusCancelled);
    EXPECT_EQ(counts[0], 0);
    EXPECT_EQ(counts[1], 0);
    EXPECT_EQ(counts[2], 5);
    EXPECT_EQ(rig.takeFrames(), (Frames{"f6 88 13 00 00 00", "a0 00 00 00 00 00"}));
}

TEST_F(FunUsb, TimedMeasurementNoticesUnplug) {
    int lost = 0;
    rig.link.onConnectionLost = [&] { ++lost; };
    rig.pump.onProcess = [&] { rig.board.unplug(); };
    std::int32_t counts[3];
    EXPECT_NE(rig.link.timedMeasurement(10, counts), 0);
    EXPECT_EQ(lost, 1);
}

TEST_F(FunUsb, TimedMeasurementQueueFailure) {
    rig.board.failNextQueueCheck(false);
    std::int32_t counts[3];
    EXPECT_NE(rig.link.timedMeasurement(10, counts), 0);
    EXPECT_TRUE(rig.messages.contains("USB Error."));
}

TEST_F(FunUsb, DataCollectionRunsTheWorkerAndReportsItsFailure) {
    std::vector<int> seen;
    rig.link.collectionWorker = [&](BoardLink& link, std::uint8_t d1, std::uint8_t d2,
                                    std::uint8_t d3) {
        seen = {d1, d2, d3};
        link.deferMessage("Error Message", "from the worker");
        return 0;
    };
    EXPECT_EQ(rig.link.Fun_USB(248, 0x0E, 0x10, 0, 24, nullptr), 0);
    EXPECT_EQ(seen, (std::vector<int>{0x0E, 0x10, 0}));
    EXPECT_TRUE(rig.messages.contains("from the worker"));

    int lost = 0;
    rig.link.onConnectionLost = [&] { ++lost; };
    rig.link.collectionWorker = [](BoardLink& link, std::uint8_t, std::uint8_t, std::uint8_t) {
        link.Rcv_Pac_Ret = 1;
        link.deferConnectionLost();
        return 1;
    };
    EXPECT_EQ(rig.link.Fun_USB(248, 0, 0, 0, 24, nullptr), 1);
    EXPECT_EQ(lost, 1);
}

TEST_F(FunUsb, BusyGuardRefusesCommandsFromEventsDuringAWait) {
    int inner = 0;
    rig.link.collectionWorker = [](BoardLink&, std::uint8_t, std::uint8_t, std::uint8_t) {
        return 0;
    };
    BoardClaim claim(rig.link, "a capture");
    ASSERT_TRUE(claim.ok());
    rig.pump.onProcess = [&] { inner = rig.link.readRegister(0, 0, nullptr); };
    rig.link.processEvents();
    EXPECT_EQ(inner, kStatusBusy);
    EXPECT_TRUE(rig.messages.contains(
        "The board is busy (a capture is running). Wait until it ends or stop it, then try "
        "again."));
    BoardClaim second(rig.link, "a monitor run");
    EXPECT_FALSE(second.ok());
}

// An answer one byte short is a failed read: the word is not made up of the previous
// answer's bytes, and the read error is shown.
TEST_F(FunUsb, ShortAnswerIsAFailedRead) {
    std::int32_t word = 0;
    ASSERT_EQ(rig.link.writeRegister(1, 22, 0xABCDEF), 0);
    ASSERT_EQ(rig.link.readRegister(1, 22, &word), 0);
    ASSERT_EQ(word, 0xABCDEF);
    ASSERT_EQ(rig.link.writeRegister(1, 22, 0x000001), 0);
    rig.messages.shown.clear();
    rig.board.shortReadNext();
    word = -1;
    EXPECT_NE(rig.link.readRegister(1, 22, &word), 0);
    EXPECT_EQ(word, -1);
    EXPECT_TRUE(rig.messages.contains(evkit::msg::kReadError));
}
