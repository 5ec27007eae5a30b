#include "diagnostics/eeprom.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim_rig.h"

using namespace evkit;
using namespace evkit::diagnostics;
using Frames = std::vector<std::string>;

namespace {

class Eeprom : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.takeFrames();
    }
    test::SimRig rig;
};

}  // namespace

TEST_F(Eeprom, ReadSendsOneFrameAndFillsTheRequestedRows) {
    EepromBlock block{};
    ASSERT_EQ(eepromRead(rig.link, rig.console, block), 0);
    EXPECT_EQ(rig.takeFrames(), Frames{"fc 00 00 00 00 00"});
    const auto& eeprom = rig.board.device().eeprom;
    EXPECT_TRUE(std::equal(block.begin(), block.end(), eeprom.begin()));

    std::vector<int> table(255, 7);
    fillEepromTable(table, block, 10);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(table[i], eeprom[i]) << i;
    for (int i = 10; i < 48; ++i) EXPECT_EQ(table[i], 0) << i;
    for (int i = 48; i < 255; ++i) EXPECT_EQ(table[i], 7) << i;  // beyond the block: untouched
    EXPECT_EQ(std::string(table.begin(), table.begin() + 8), "EVKIT714");
    EXPECT_TRUE(rig.console.output.empty());
}

TEST_F(Eeprom, NeverReadyReadGivesUpAfterPrintingTheError) {
    rig.board.stall(true);
    EepromBlock block{};
    block.fill(0xAA);
    const double start = rig.clock.now();
    EXPECT_EQ(eepromRead(rig.link, rig.console, block), kEepromNotReady);
    EXPECT_EQ(rig.console.output, "EPROM READ error\n");
    EXPECT_GE(rig.clock.now() - start, kEepromMinimumWait + kEepromGiveUpPause);
    EXPECT_EQ(block[0], 0xAA);
    EXPECT_FALSE(rig.link.busy());
}

TEST_F(Eeprom, ReadWithoutAnOpenBoardGivesUp) {
    rig.link.cyHandle = 0;
    EepromBlock block{};
    EXPECT_EQ(eepromRead(rig.link, rig.console, block), kEepromNotReady);
    EXPECT_EQ(rig.console.output, "stat from F32x_Write is 1\nEPROM READ error\n");
}

TEST_F(Eeprom, FailedOrShortBlockReadLeavesTheBlockAlone) {
    EepromBlock block{};
    block.fill(0xAA);
    rig.board.failNextRead();
    EXPECT_EQ(eepromRead(rig.link, rig.console, block), kF32xReadError);
    EXPECT_EQ(rig.console.output, "stat from F32x_Read is 2\n");
    rig.board.shortReadNext();
    EXPECT_EQ(eepromRead(rig.link, rig.console, block), kEepromShortRead);
    EXPECT_EQ(block[0], 0xAA);
}

TEST_F(Eeprom, WriteSendsOneFramePerByteTenMillisecondsApart) {
    std::vector<double> times;
    const double start = rig.clock.now();
    ASSERT_EQ(eepromWrite(rig.link, rig.console, {0x12, 0x34, 0x56},
                          [&](int) { times.push_back(rig.clock.now() - start); }),
              0);
    EXPECT_EQ(rig.takeFrames(),
              (Frames{"f7 00 12 00 00 00", "f7 01 34 00 00 00", "f7 02 56 00 00 00"}));
    ASSERT_EQ(times.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(times[i], 0.01 * (i + 1), 1e-9);
    EXPECT_TRUE(rig.console.output.empty());
}

TEST_F(Eeprom, EmptyWriteSendsNothingAndTooLongWriteIsRefused) {
    EXPECT_EQ(eepromWrite(rig.link, rig.console, {}), 0);
    EXPECT_EQ(eepromWrite(rig.link, rig.console, std::vector<std::uint8_t>(256, 1)),
              kF32xInvalidParameter);
    EXPECT_TRUE(rig.takeFrames().empty());
    EXPECT_FALSE(checkEepromWriteCount(rig.messages, 256));
    EXPECT_TRUE(checkEepromWriteCount(rig.messages, 255));
    EXPECT_FALSE(checkEepromReadCount(rig.messages, 49));
    EXPECT_TRUE(checkEepromReadCount(rig.messages, 0));
    EXPECT_FALSE(checkEepromBytes(rig.messages, {1, 256, 3}, 3));
    EXPECT_TRUE(checkEepromBytes(rig.messages, {1, 256, 3}, 1));
}

TEST_F(Eeprom, TransportFailuresArePrintedAndTheWriteGoesOn) {
    rig.board.failNextFlush();
    rig.board.failNextWrite();
    // Every byte is still tried; the first failure is the result.
    int written = -1;
    EXPECT_EQ(eepromWrite(rig.link, rig.console, {1, 2, 3}, {}, &written), kF32xIoFailed);
    EXPECT_EQ(written, 2);
    EXPECT_EQ(rig.console.output, "stat from F32x_FlushBuffers is 5\nstat from F32x_Write is 3\n");
    EXPECT_EQ(rig.takeFrames(), (Frames{"f7 01 02 00 00 00", "f7 02 03 00 00 00"}));
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(Eeprom, WriteThenReadRoundTripsOnTheVirtualBoard) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 48; ++i) bytes.push_back(static_cast<std::uint8_t>(255 - 3 * i));
    ASSERT_EQ(eepromWrite(rig.link, rig.console, bytes), 0);
    EepromBlock block{};
    ASSERT_EQ(eepromRead(rig.link, rig.console, block), 0);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), block.begin()));
}

TEST_F(Eeprom, VirtualEepromLosesUnpacedWritesAndIgnoresAddress255) {
    // Two write frames without the pause: the second arrives during the write cycle.
    const std::uint8_t frames[12] = {0xF7, 0, 0x11, 0, 0, 0, 0xF7, 1, 0x22, 0, 0, 0};
    std::uint32_t written = 0;
    ASSERT_EQ(rig.board.Write(rig.link.cyHandle, frames, 12, &written), 0);
    EXPECT_EQ(rig.board.device().eeprom[0], 0x11);
    EXPECT_NE(rig.board.device().eeprom[1], 0x22);
    rig.clock.delay(0.01);
    const std::uint8_t last[6] = {0xF7, 255, 0x33, 0, 0, 0};
    ASSERT_EQ(rig.board.Write(rig.link.cyHandle, last, 6, &written), 0);
    EXPECT_EQ(rig.board.device().eeprom[255], 0xFF);
}

TEST_F(Eeprom, RefusedWhileAnotherOperationHoldsTheBoard) {
    ASSERT_TRUE(rig.link.tryClaim("a capture"));
    EepromBlock block{};
    EXPECT_EQ(eepromRead(rig.link, rig.console, block), kStatusBusy);
    EXPECT_EQ(eepromWrite(rig.link, rig.console, {1}), kStatusBusy);
    EXPECT_TRUE(rig.takeFrames().empty());
    rig.link.release();
}
