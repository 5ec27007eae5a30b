// Board captures over libusb: the data collection (command 248 and its reception worker)
// runs through BoardLink and the USB transport against the emulated board, whose firmware
// streams its real samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "board/board_link.h"
#include "board/connection.h"
#include "board/session.h"
#include "board/usb_transport.h"
#include "collection/capture.h"
#include "emulated_board.h"
#include "sim/virtual_board.h"
#include "support/clock.h"
#include "support/messages.h"
#include "support/pump.h"

namespace evkit::test {
namespace {

using std::chrono::steady_clock;
constexpr UsbId kBoardId{0x1234, 0x5678};
constexpr int kMark = 4242;

double secondsSince(steady_clock::time_point t) {
    return std::chrono::duration<double>(steady_clock::now() - t).count();
}

// Wall time for the time-outs, as against a board on the bench, without ever waiting: the
// pacing delays move the clock on at once and polling rounds only yield the processor.
class NoWaitWallClock : public Clock {
  public:
    void delay(double seconds) override {
        if (seconds > 0) skippedNs_.fetch_add(static_cast<std::int64_t>(seconds * 1e9 + 0.5));
    }
    double now() const override {
        const double wall =
            std::chrono::duration<double>(steady_clock::now().time_since_epoch()).count();
        return wall + static_cast<double>(skippedNs_.load()) * 1e-9;
    }
    void pollPause() override { std::this_thread::yield(); }

  private:
    std::atomic<std::int64_t> skippedNs_{0};
};

// The program's side of a USB connection to the emulated board.
struct UsbRig {
    UsbRig() : board(kBoardId, "EVKIT714 USB Board") { board.plug(); }

    EmulatedBoard board;  // outlives the transport, which closes it
    UsbTransport usb{UsbIdSetting{kBoardId, "test", "", ""}};
    NoWaitWallClock clock;
    RecordingMessages messages;
    NullPump pump;
    BoardLink link{usb, clock, messages, pump};
    Session session{link};
    collection::DataCollection data{session};
};

// What the firmware streams for a capture, read straight from a plain virtual board that is
// sent the same frames at the same firmware times as the emulated board, up to and including
// the capture's start frame. `values` is rounded up to whole packets.
std::vector<std::int32_t> streamOfTheSameFirmware(const EmulatedBoard& emulated, int values) {
    const auto outs = emulated.outTransfers();
    const auto times = emulated.outTimes();
    VirtualClock clock;
    sim::VirtualBoard board(clock);
    F32xHandle h = 0;
    EXPECT_EQ(board.Open(0, &h), 0);
    board.SetTimeouts(1000, 1000);
    bool started = false;
    for (std::size_t i = 0; i < outs.size() && !started; ++i) {
        clock.advance(times[i] - clock.now());
        started = outs[i].size() == 6 && outs[i][0] == 248;
        if (started) board.FlushBuffers(h);  // the answers read before the capture
        std::uint32_t n = 0;
        EXPECT_EQ(board.Write(h, outs[i].data(), static_cast<std::uint32_t>(outs[i].size()), &n),
                  0);
    }
    EXPECT_TRUE(started) << "no start frame reached the emulated board";
    const int packets = (values + collection::kValuesPerPacket - 1) / collection::kValuesPerPacket;
    std::vector<std::int32_t> stream(static_cast<std::size_t>(packets) *
                                     collection::kValuesPerPacket);
    for (int p = 0; p < packets; ++p) {
        std::uint8_t packet[collection::kPacketBytes];
        std::uint32_t n = 0;
        if (board.Read(h, packet, collection::kPacketBytes, &n) != 0) {
            ADD_FAILURE() << "the reference stream ended at packet " << p;
            break;
        }
        collection::decodePacket(
            packet, stream.data() + static_cast<std::ptrdiff_t>(p) * collection::kValuesPerPacket);
    }
    return stream;
}

// Index of the first element where `got` differs from `want` over want's length, -1 if none.
long firstDifference(const std::vector<std::int32_t>& got, const std::vector<std::int32_t>& want,
                     std::size_t stride = 1, std::size_t offset = 0) {
    for (std::size_t i = 0; offset + i * stride < want.size(); ++i)
        if (i >= got.size() || got[i] != want[offset + i * stride]) return static_cast<long>(i);
    return -1;
}

class UsbCapture : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!EmulatedBoard::available())
            GTEST_SKIP() << "not running under umockdev's preload library";
        rig = std::make_unique<UsbRig>();
        ASSERT_EQ(open_board(rig->link, &rig->session.DeviceString), 0)
            << (rig->messages.shown.empty() ? "" : rig->messages.shown.back().second);
        rig->session.port_number = kPortUsb;
        rig->messages.shown.clear();
        // Marks the buffers so that a capture can be seen to have left them alone.
        auto& b = rig->data.buffers;
        for (auto* v : {&b.raw_data, &b.channel1_data, &b.channel2_data, &b.sample_data})
            std::fill(v->begin(), v->end(), kMark);
        b.convertSampleData();
    }
    int collect() {
        return rig->data.collectSequence([this] { return rig->data.captureBlock(); });
    }
    std::unique_ptr<UsbRig> rig;
};

TEST_F(UsbCapture, CaptureOf4096SamplesArrivesCompleteAndInOrder) {
    auto& data = rig->data;
    data.settings.selectPair(0);  // current 1 and voltage 1
    ASSERT_TRUE(data.settings.setSampleIndex(8));
    ASSERT_EQ(data.settings.samples, 4096);
    std::vector<int> progress;  // written by the worker only, read after it has finished
    data.onProgress = [&](int received, int) { progress.push_back(received); };

    ASSERT_EQ(collect(), 0) << (rig->messages.shown.empty() ? "" : rig->messages.shown[0].second);
    EXPECT_TRUE(rig->messages.shown.empty());
    EXPECT_EQ(rig->session.fs, 4000.0f);

    // The start frame went out as the worker built it, and every packet was counted.
    const auto outs = rig->board.outTransfers();
    EXPECT_NE(std::find(outs.begin(), outs.end(), std::vector<std::uint8_t>{248, 2, 4, 0, 8, 1}),
              outs.end());
    const int values = 2 * 4096, packets = (values + 19) / 20;
    ASSERT_EQ(static_cast<int>(progress.size()), packets);
    for (int p = 0; p + 1 < packets; ++p)
        EXPECT_EQ(progress[static_cast<std::size_t>(p)], 20 * (p + 1));
    EXPECT_EQ(progress.back(), values);

    // Every value as the firmware produced it, in its place: the raw stream of whole packets
    // and both channels split from it.
    const auto want = streamOfTheSameFirmware(rig->board, values);
    ASSERT_EQ(want.size(), static_cast<std::size_t>(20 * packets));
    // A waveform with noise, so that a lost, doubled or swapped packet cannot match.
    EXPECT_GT(std::set<std::int32_t>(want.begin(), want.end()).size(), 4000u);
    const auto& b = data.buffers;
    EXPECT_EQ(firstDifference(b.raw_data, want), -1);
    EXPECT_EQ(b.raw_data[want.size()], kMark);  // nothing beyond the last packet
    const std::vector<std::int32_t> want1(want.begin(), want.begin() + values);
    EXPECT_EQ(firstDifference(b.channel1_data, want1, 2, 0), -1);
    EXPECT_EQ(firstDifference(b.channel2_data, want1, 2, 1), -1);
    EXPECT_EQ(b.channel1_data[4096], kMark);
    EXPECT_EQ(b.channel2_data[4096], kMark);
    EXPECT_EQ(b.sample_data, b.channel1_data);
    EXPECT_EQ(b.sample_real[4095], static_cast<double>(b.channel1_data[4095]));
    EXPECT_EQ(data.buttonlabel1, "Current 1");
    EXPECT_EQ(data.buttonlabel2, "Voltage 1");

    // The board was stopped after the capture, and the link works on.
    EXPECT_EQ(outs.back(), (std::vector<std::uint8_t>{0x5E, 0x00, 0x00, 0x90, 0, 0}));
    std::int32_t word = 0;
    EXPECT_EQ(rig->link.readRegister(0, 15, &word), 0);
}

TEST_F(UsbCapture, UnplugDuringACaptureFailsItWithTheConnectionMessageWithinASecond) {
    auto& data = rig->data;
    data.settings.selectPair(0);
    // The longest capture: its stream cannot have been received whole before the unplug.
    ASSERT_TRUE(data.settings.setSampleIndex(11));
    int lost = 0;
    rig->link.onConnectionLost = [&] { ++lost; };
    // The board is pulled out by the worker itself after its fifth packet, so that the
    // moment is the same on every run.
    bool pulled = false;
    steady_clock::time_point unplugged{};
    data.onProgress = [&](int received, int) {
        if (!pulled && received >= 5 * 20) {
            pulled = true;
            unplugged = steady_clock::now();
            rig->board.unplug();
        }
    };

    const int status = collect();
    ASSERT_TRUE(pulled) << "the capture ended before five packets: " << status;
    const double noticedAfter = secondsSince(unplugged);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(rig->link.Rcv_Pac_Ret, 1);
    EXPECT_LT(noticedAfter, 1.0);
    EXPECT_LT(data.progressReceived(), data.progressExpected());
    ASSERT_EQ(rig->messages.shown.size(), 1u);
    EXPECT_EQ(rig->messages.shown[0],
              (std::pair<std::string, std::string>{
                  "Error Message",
                  "USB connection error. Ensure proper USB connection and power. Reset the board, "
                  "go to Setup menu and re-setup USB connection."}));
    EXPECT_EQ(lost, 1);

    // The buffers are as they were before the capture.
    const auto& b = data.buffers;
    for (const auto* v : {&b.raw_data, &b.channel1_data, &b.channel2_data, &b.sample_data})
        EXPECT_EQ(std::count(v->begin(), v->end(), kMark), collection::kBufferSize);
    EXPECT_EQ(b.sample_real[0], static_cast<double>(kMark));

    // Nothing more is sent to a board that has gone.
    const auto sent = rig->board.outTransfers().size();
    EXPECT_NE(rig->link.readRegister(0, 15, nullptr), 0);
    EXPECT_EQ(rig->board.outTransfers().size(), sent);
}

}  // namespace
}  // namespace evkit::test
