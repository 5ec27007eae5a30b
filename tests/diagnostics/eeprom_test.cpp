#include "diagnostics/eeprom.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "sim_rig.h"
#include "support/format.h"

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
    EXPECT_NEAR(rig.clock.now() - start, 1.0 + 4.0, 1e-9);  // the minimum wait, then the pause
    EXPECT_EQ(block[0], 0xAA);
    EXPECT_FALSE(rig.link.busy());
}

// After the give-up pause the console window is taken off the screen; a read that works
// leaves it alone.
TEST_F(Eeprom, GivingUpHidesTheConsoleAfterThePause) {
    struct TimedConsole : Console {
        explicit TimedConsole(Clock& c) : clock(c) {}
        void print(std::string_view text) override {
            output.append(text);
            printedAt = clock.now();
        }
        void hide() override { hiddenAt.push_back(clock.now()); }
        Clock& clock;
        std::string output;
        double printedAt = -1;
        std::vector<double> hiddenAt;
    };
    TimedConsole console(rig.clock);
    EepromBlock block{};
    ASSERT_EQ(eepromRead(rig.link, console, block), 0);
    EXPECT_TRUE(console.hiddenAt.empty());
    rig.board.stall(true);
    EXPECT_EQ(eepromRead(rig.link, console, block), kEepromNotReady);
    ASSERT_EQ(console.hiddenAt.size(), 1u);
    EXPECT_GE(console.hiddenAt[0] - console.printedAt, kEepromGiveUpPause);
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

TEST_F(Eeprom, FullWriteReachesAddress254PacedTenMillisecondsApart) {
    // The board loses a byte that arrives during the previous byte's write cycle: every
    // byte lands only when the writes are paced.
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < kEepromMaxWriteCount; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i ^ 0x5A));
    const auto& eeprom = rig.board.device().eeprom;
    const auto last = eeprom[255];
    const double start = rig.clock.now();
    ASSERT_EQ(eepromWrite(rig.link, rig.console, bytes), 0);
    EXPECT_NEAR(rig.clock.now() - start, 255 * 0.01, 1e-9);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), eeprom.begin()));
    EXPECT_EQ(eeprom[255], last);
    const auto frames = rig.takeFrames();
    ASSERT_EQ(frames.size(), 255u);
    EXPECT_EQ(frames.back(), strprintf("f7 fe %02x 00 00 00", 254 ^ 0x5A));
}

TEST(EepromCounts, AcceptedUpToTheirLastValue) {
    RecordingMessages m;
    const std::pair<bool (*)(Messages&, int), std::array<int, 4>> rows[] = {
        {checkEepromReadCount, {0, 48, -1, 49}},
        {checkEepromWriteCount, {0, 255, -1, 256}},
    };
    for (const auto& [check, edges] : rows) {
        EXPECT_TRUE(check(m, edges[0])) << edges[0];
        EXPECT_TRUE(check(m, edges[1])) << edges[1];
        EXPECT_TRUE(m.shown.empty());
        EXPECT_FALSE(check(m, edges[2])) << edges[2];
        EXPECT_FALSE(check(m, edges[3])) << edges[3];
        EXPECT_EQ(m.shown.size(), 2u);
        m.shown.clear();
    }
    EXPECT_TRUE(checkEepromBytes(m, {0, 255, 3}, 3));
    EXPECT_FALSE(checkEepromBytes(m, {0, 256, 3}, 3));
    EXPECT_FALSE(checkEepromBytes(m, {0, -1, 3}, 3));
    EXPECT_TRUE(checkEepromBytes(m, {0, 256, 3}, 1));
    ASSERT_EQ(m.shown.size(), 2u);
    EXPECT_EQ(m.shown[0].second, "Row 2 holds 256, which is not a byte (0 to 255).");
}

TEST_F(Eeprom, RefusedWhileAnotherOperationHoldsTheBoard) {
    ASSERT_TRUE(rig.link.tryClaim("a capture"));
    EepromBlock block{};
    EXPECT_EQ(eepromRead(rig.link, rig.console, block), kStatusBusy);
    EXPECT_EQ(eepromWrite(rig.link, rig.console, {1}), kStatusBusy);
    EXPECT_TRUE(rig.takeFrames().empty());
    rig.link.release();
}
