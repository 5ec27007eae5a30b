// The USB transport over libusb against a board emulated with umockdev: enumeration,
// product string, open, write, read, read time-out, queue state, flush, unplug, and the
// whole connection sequence of the CLI.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "board/board_link.h"
#include "board/connection.h"
#include "board/usb_transport.h"
#include "emulated_board.h"
#include "support/clock.h"
#include "support/messages.h"
#include "support/pump.h"

namespace evkit::test {
namespace {

using std::chrono::steady_clock;
constexpr UsbId kBoardId{0x1234, 0x5678};
constexpr const char* kProduct = "EVKIT714 USB Board";

UsbIdSetting configured(UsbId id = kBoardId) {
    return {id, "test", "", ""};
}

double secondsSince(steady_clock::time_point t) {
    return std::chrono::duration<double>(steady_clock::now() - t).count();
}

// Waits (without sleeping) until `done` holds or a second has passed.
template <class F>
bool within1s(F done) {
    const auto start = steady_clock::now();
    while (!done()) {
        if (secondsSince(start) > 1.0) return false;
        std::this_thread::yield();
    }
    return true;
}

class EmulatedUsb : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!EmulatedBoard::available())
            GTEST_SKIP() << "not running under umockdev's preload library";
        board = std::make_unique<EmulatedBoard>(kBoardId, kProduct);
        board->plug();
    }
    // Opens the board as the connection does.
    F32xHandle openBoard(UsbTransport& usb) {
        F32xHandle h = 0;
        EXPECT_EQ(usb.Open(0, &h), 0) << usb.errorDetail();
        usb.SetTimeouts(987, 876);
        return h;
    }
    std::unique_ptr<EmulatedBoard> board;
};

TEST_F(EmulatedUsb, ListsOnlyDevicesWithTheConfiguredIdAndReadsTheProductString) {
    UsbTransport usb(configured());
    std::uint32_t count = 0;
    ASSERT_EQ(usb.GetNumDevices(&count), 0) << usb.errorDetail();
    EXPECT_EQ(count, 1u);
    std::string product;
    ASSERT_EQ(usb.GetProductString(0, &product), 0) << usb.errorDetail();
    EXPECT_EQ(product, kProduct);
    EXPECT_NE(usb.GetProductString(1, &product), 0);

    UsbTransport other(configured({0x1234, 0x0001}));
    ASSERT_EQ(other.GetNumDevices(&count), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_NE(other.errorDetail().find("1234:0001"), std::string::npos);
    F32xHandle h = 0;
    EXPECT_NE(other.Open(0, &h), 0);

    std::vector<UsbDeviceInfo> devices;
    std::string problem;
    ASSERT_EQ(UsbTransport::listDevices(&devices, &problem), 0) << problem;
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].id, kBoardId);
    EXPECT_EQ(devices[0].product, kProduct);
    EXPECT_EQ(devices[0].bus, 1);
    EXPECT_EQ(devices[0].address, 2);
}

TEST_F(EmulatedUsb, OpenWriteReadAndCloseKeepTheBytesExact) {
    UsbTransport usb(configured());
    std::uint32_t count = 0;
    ASSERT_EQ(usb.GetNumDevices(&count), 0);
    const F32xHandle h = openBoard(usb);
    ASSERT_NE(h, 0u);
    // Connecting again to the open board keeps its handle instead of failing the claim.
    F32xHandle again = 0;
    EXPECT_EQ(usb.Open(0, &again), 0);
    EXPECT_EQ(again, h);

    board->firmware().device().busWrite(15, 0x00A5C3);  // status register on page 0
    const std::uint8_t select[6] = {0x7E, 0, 0, 0, 0, 0};
    const std::uint8_t read[6] = {0x1E, 0, 0, 0, 0, 0};
    std::uint32_t n = 0;
    ASSERT_EQ(usb.FlushBuffers(h), 0);
    ASSERT_EQ(usb.Write(h, select, 6, &n), 0);
    ASSERT_EQ(usb.Write(h, read, 6, &n), 0);
    EXPECT_EQ(n, 6u);
    std::array<std::uint8_t, 3> answer{};
    ASSERT_EQ(usb.Read(h, answer.data(), 3, &n), 0);
    EXPECT_EQ(n, 3u);
    const std::uint32_t word = answer[0] | (answer[1] << 8) | (answer[2] << 16);
    EXPECT_EQ(word, board->firmware().device().busRead(15));

    const auto outs = board->outTransfers();
    ASSERT_EQ(outs.size(), 2u);
    EXPECT_EQ(outs[0], std::vector<std::uint8_t>(select, select + 6));
    EXPECT_EQ(outs[1], std::vector<std::uint8_t>(read, read + 6));

    EXPECT_EQ(usb.Close(h), 0);
    EXPECT_EQ(usb.Close(h), kF32xInvalidHandle);
    EXPECT_NE(usb.Write(h, read, 6, &n), 0);
    EXPECT_NE(usb.FlushBuffers(h), 0);
}

TEST_F(EmulatedUsb, ReadWaitsForTheWholeCountAndTimesOutOtherwise) {
    UsbTransport usb(configured());
    std::uint32_t count = 0;
    ASSERT_EQ(usb.GetNumDevices(&count), 0);
    const F32xHandle h = openBoard(usb);
    usb.SetTimeouts(60, 876);
    std::uint8_t buffer[4] = {};
    std::uint32_t n = 99;
    auto start = steady_clock::now();
    EXPECT_EQ(usb.Read(h, buffer, 3, &n), kF32xReadTimeout);
    EXPECT_EQ(n, 0u);
    EXPECT_GE(secondsSince(start), 0.055);

    // Three bytes answered, four asked: a time-out, and the three stay queued.
    const std::uint8_t query[6] = {245, 0, 0, 0, 0, 0};
    ASSERT_EQ(usb.Write(h, query, 6, &n), 0);
    EXPECT_EQ(usb.Read(h, buffer, 4, &n), kF32xReadTimeout);
    std::uint32_t bytes = 0, state = 0;
    ASSERT_EQ(usb.CheckRXQueue(h, &bytes, &state), 0);
    EXPECT_EQ(bytes, 3u);
    EXPECT_EQ(state, kRxReady);
    ASSERT_EQ(usb.Read(h, buffer, 3, &n), 0);
    EXPECT_EQ(std::string(buffer, buffer + 3), "714");
    usb.Close(h);
}

TEST_F(EmulatedUsb, QueueStateShowsReadyAndOverrunAndFlushDiscardsEverything) {
    UsbTransport usb(configured());
    std::uint32_t count = 0;
    ASSERT_EQ(usb.GetNumDevices(&count), 0);
    const F32xHandle h = openBoard(usb);
    std::uint32_t bytes = 1, state = 1, n = 0;
    ASSERT_EQ(usb.CheckRXQueue(h, &bytes, &state), 0);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(state, 0u);

    const std::uint8_t query[6] = {245, 0, 0, 0, 0, 0};
    ASSERT_EQ(usb.Write(h, query, 6, &n), 0);
    EXPECT_TRUE(within1s([&] {
        usb.CheckRXQueue(h, &bytes, &state);
        return (state & kRxReady) != 0;
    }));
    EXPECT_EQ(bytes, 3u);

    // A stale answer left unread is gone after the flush: the next read gets the new one.
    board->firmware().device().busWrite(15, 0x123456);
    ASSERT_EQ(usb.FlushBuffers(h), 0);
    ASSERT_EQ(usb.CheckRXQueue(h, &bytes, &state), 0);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(state, 0u);
    const std::uint8_t read[6] = {0x1E, 0, 0, 0, 0, 0};
    ASSERT_EQ(usb.Write(h, read, 6, &n), 0);
    std::uint8_t answer[3] = {};
    ASSERT_EQ(usb.Read(h, answer, 3, &n), 0);
    EXPECT_EQ(answer[0] | (answer[1] << 8) | (answer[2] << 16),
              static_cast<int>(board->firmware().device().busRead(15)));

    // The board overflows a transfer: the overrun bit stays until the next flush.
    board->overflowNextIn();
    EXPECT_TRUE(within1s([&] {
        usb.CheckRXQueue(h, &bytes, &state);
        return (state & kRxOverrun) != 0;
    }));
    ASSERT_EQ(usb.FlushBuffers(h), 0);
    ASSERT_EQ(usb.CheckRXQueue(h, &bytes, &state), 0);
    EXPECT_EQ(state, 0u);
    // And the IN transfers run again after the flush.
    ASSERT_EQ(usb.Write(h, query, 6, &n), 0);
    EXPECT_EQ(usb.Read(h, answer, 3, &n), 0);
    usb.Close(h);
}

TEST_F(EmulatedUsb, CaptureStreamOf4096SamplesArrivesCompleteAndInOrder) {
    board->streamOn248(4096);
    UsbTransport usb(configured());
    std::uint32_t count = 0;
    ASSERT_EQ(usb.GetNumDevices(&count), 0);
    const F32xHandle h = openBoard(usb);
    ASSERT_EQ(usb.FlushBuffers(h), 0);
    const std::uint8_t start[6] = {248, 0x1E, 0x20, 7, 0, 0};
    std::uint32_t n = 0;
    ASSERT_EQ(usb.Write(h, start, 6, &n), 0);
    const int words = 2 * 4096, packets = (words + 19) / 20;
    int expected = 0;
    for (int p = 0; p < packets; ++p) {
        std::uint8_t packet[60];
        ASSERT_EQ(usb.Read(h, packet, 60, &n), 0) << "packet " << p;
        for (int k = 0; k < 20 && expected < words; ++k, ++expected) {
            const int word = packet[3 * k] | (packet[3 * k + 1] << 8) | (packet[3 * k + 2] << 16);
            ASSERT_EQ(word, expected) << "packet " << p << " word " << k;
        }
    }
    EXPECT_EQ(expected, words);
    std::uint32_t bytes = 0, state = 0;
    ASSERT_EQ(usb.CheckRXQueue(h, &bytes, &state), 0);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(state & kRxOverrun, 0u);
    usb.Close(h);
}

TEST_F(EmulatedUsb, UnplugDuringACaptureIsNoticedWithinASecond) {
    board->streamOn248(1000000);
    UsbTransport usb(configured());
    std::uint32_t count = 0;
    ASSERT_EQ(usb.GetNumDevices(&count), 0);
    const F32xHandle h = openBoard(usb);
    const std::uint8_t start[6] = {248, 0x1E, 0x20, 7, 0, 0};
    std::uint32_t n = 0;
    ASSERT_EQ(usb.Write(h, start, 6, &n), 0);
    std::uint8_t packet[60];
    for (int p = 0; p < 5; ++p) ASSERT_EQ(usb.Read(h, packet, 60, &n), 0);

    board->unplug();
    const auto unplugged = steady_clock::now();
    // The reception loop: count of boards each round, then the next packet.
    bool noticed = false;
    while (!noticed && secondsSince(unplugged) < 2.0) {
        ASSERT_EQ(usb.GetNumDevices(&count), 0);
        if (count == 0)
            noticed = true;
        else if (usb.Read(h, packet, 60, &n) != 0 && (usb.GetNumDevices(&count), count == 0))
            noticed = true;
    }
    EXPECT_TRUE(noticed);
    EXPECT_LT(secondsSince(unplugged), 1.0);
    EXPECT_NE(usb.FlushBuffers(h), 0);
    EXPECT_EQ(usb.Close(h), 0);  // the handle of a board gone is still released
    EXPECT_EQ(usb.Close(h), kF32xInvalidHandle);
}

// A pump that pulls the board out on its third round of events.
struct UnplugPump : Pump {
    EmulatedBoard* board = nullptr;
    int rounds = 0;
    steady_clock::time_point unplugged{};
    void processEvents() override {
        if (++rounds == 3) {
            board->unplug();
            unplugged = steady_clock::now();
        }
    }
    bool cancelRequested() override { return false; }
};

TEST_F(EmulatedUsb, UnplugDuringATimedMeasurementGivesTheConnectionMessageWithinASecond) {
    UsbTransport usb(configured());
    SystemClock clock;
    RecordingMessages messages;
    UnplugPump pump;
    pump.board = board.get();
    BoardLink link(usb, clock, messages, pump);
    ASSERT_EQ(open_board(link, nullptr), 0);
    std::int32_t counts[3] = {};
    const int status = link.timedMeasurement(5000, counts);  // a 100 s gate
    EXPECT_NE(status, 0);
    EXPECT_LT(secondsSince(pump.unplugged), 1.0);
    ASSERT_FALSE(messages.shown.empty());
    EXPECT_EQ(messages.shown.back().second, msg::kConnectionLost);
}

TEST_F(EmulatedUsb, BoardCountFollowsPlugAndUnplug) {
    for (const bool hotplug : {true, false}) {
        SCOPED_TRACE(hotplug ? "hotplug" : "enumeration");
        board->unplug();
        UsbTransport usb(configured(), hotplug);
        std::uint32_t count = 9;
        ASSERT_EQ(usb.GetNumDevices(&count), 0);
        EXPECT_EQ(count, 0u);
        board->plug();
        EXPECT_TRUE(within1s([&] { return usb.GetNumDevices(&count) == 0 && count == 1; }));
        board->unplug();
        EXPECT_TRUE(within1s([&] { return usb.GetNumDevices(&count) == 0 && count == 0; }));
        board->plug();
    }
}

TEST_F(EmulatedUsb, CliIdentifiesTheBoardOverLibusb) {
    const std::string command =
        std::string(EVKIT_CLI_PATH) + " --board usb --usb-id 1234:5678 identify 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) output += line;
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("chip=14\n"), std::string::npos) << output;
    EXPECT_NE(output.find("device=PM7014 Rev C\n"), std::string::npos) << output;
    EXPECT_NE(output.find("board_id=714 14 4\n"), std::string::npos) << output;
    // Every frame of the sequence went over the bulk OUT endpoint.
    EXPECT_GE(board->outTransfers().size(), 4u);
}

}  // namespace
}  // namespace evkit::test
