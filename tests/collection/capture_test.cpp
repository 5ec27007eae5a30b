// Board captures on the virtual board: the start frame, packets, failures of the reception
// worker, the board steps around an analysis, disk mode and the busy guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <functional>
#include <numeric>

#include "board/connection.h"
#include "collection/analysis.h"
#include "collection/capture.h"
#include "collection/data_files.h"
#include "sim/capture_stream.h"
#include "sim_rig.h"

namespace evkit::collection {
namespace {

struct CaptureRig : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.takeFrames();
    }
    // Marks the block so a failed capture can be seen to leave it alone.
    void markBuffers() {
        for (auto* b : {&data.buffers.raw_data, &data.buffers.channel1_data,
                        &data.buffers.channel2_data, &data.buffers.sample_data})
            std::fill(b->begin(), b->end(), 4242);
        data.buffers.convertSampleData();
    }
    void expectMarked() {
        for (auto* b : {&data.buffers.raw_data, &data.buffers.channel1_data,
                        &data.buffers.channel2_data, &data.buffers.sample_data})
            EXPECT_EQ(std::count(b->begin(), b->end(), 4242), kBufferSize);
        EXPECT_EQ(data.buffers.sample_real[0], 4242.0);
    }
    test::SimRig rig;
    DataCollection data{rig.session};
};

TEST(Packet, DecodesLittleEndianSignExtendedCodes) {
    std::uint8_t packet[60] = {};
    const std::uint8_t samples[][3] = {
        {0x00, 0x00, 0x80}, {0xFF, 0xFF, 0x7F}, {0xFF, 0xFF, 0xFF}, {0x56, 0x34, 0x12}};
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < 3; ++b) packet[i * 3 + b] = samples[i][b];
    std::int32_t out[20];
    decodePacket(packet, out);
    EXPECT_EQ(out[0], -8388608);
    EXPECT_EQ(out[1], 8388607);
    EXPECT_EQ(out[2], -1);
    EXPECT_EQ(out[3], 0x123456);
    EXPECT_EQ(out[19], 0);
}

TEST_F(CaptureRig, SixteenSamplesReadTwoPacketsAndUseTheFirstThirtyTwoValues) {
    markBuffers();
    std::vector<std::pair<int, int>> progress;
    data.onProgress = [&](int got, int expected) { progress.emplace_back(got, expected); };
    ASSERT_EQ(data.collect_data(16, kPortUsb), 0);
    const auto frames = rig.takeFrames();
    // No page frame for a command byte of 0x80 or more: the start frame alone.
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], "f8 02 04 00 00 01");  // pair 1, no noise management, index 0, delay 1
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{20, 32}, {32, 32}}));
    // Forty values arrived; the split uses the first thirty-two.
    const auto& raw = data.buffers.raw_data;
    EXPECT_NE(raw[39], 4242);
    EXPECT_EQ(raw[40], 4242);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(data.buffers.channel1_data[static_cast<size_t>(i)],
                  raw[static_cast<size_t>(2 * i)]);
        EXPECT_EQ(data.buffers.channel2_data[static_cast<size_t>(i)],
                  raw[static_cast<size_t>(2 * i + 1)]);
    }
    EXPECT_EQ(data.buffers.channel1_data[16], 4242);
    EXPECT_EQ(data.buffers.sample_data, data.buffers.channel1_data);
    EXPECT_EQ(data.buffers.sample_real[5], data.buffers.sample_data[5]);
    EXPECT_EQ(data.buttonlabel1, "Current 1");
    EXPECT_EQ(data.buttonlabel2, "Voltage 1");
    EXPECT_EQ(data.title, "Data Collection Window");
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST_F(CaptureRig, StreamCarriesRealisticWaveformsOfEachPair) {
    // 4096 samples at 4000 per second: about 51 line cycles.
    data.settings.setSampleIndex(8);
    const double fs = 8388608.0;
    const auto rms = [](const std::vector<std::int32_t>& v, int n) {
        double s = 0;
        for (int i = 0; i < n; ++i) s += double(v[size_t(i)]) * v[size_t(i)];
        return std::sqrt(s / n);
    };
    const auto mean = [](const std::vector<std::int32_t>& v, int n) {
        return std::accumulate(v.begin(), v.begin() + n, 0.0) / n;
    };
    data.settings.selectPair(0);
    ASSERT_EQ(data.collect_data(4096, kPortUsb), 0);
    EXPECT_NEAR(rms(data.buffers.channel1_data, 4096) / fs, 0.40 / std::sqrt(2.0), 0.01);
    EXPECT_NEAR(rms(data.buffers.channel2_data, 4096) / fs, 0.60 / std::sqrt(2.0), 0.01);
    data.settings.selectPair(2);
    ASSERT_EQ(data.collect_data(4096, kPortUsb), 0);
    EXPECT_EQ(rig.takeFrames().back(), "f8 06 1c 00 08 01");
    // P = V I cos(30 deg) / 2 and Q = V I sin(30 deg) / 2 for the default load.
    EXPECT_NEAR(mean(data.buffers.channel1_data, 4096) / fs, 0.24 * std::cos(M_PI / 6) / 2, 0.004);
    EXPECT_NEAR(mean(data.buffers.channel2_data, 4096) / fs, 0.24 * std::sin(M_PI / 6) / 2, 0.004);
    EXPECT_EQ(data.buttonlabel2, "Reactive Power 1");
    // The converter's correction acts on the streamed samples.
    rig.board.device().correction[sim::kI2] = {0.0, 0.5};
    data.settings.selectPair(1);
    ASSERT_EQ(data.collect_data(4096, kPortUsb), 0);
    EXPECT_NEAR(rms(data.buffers.channel1_data, 4096) / fs, 0.125 / std::sqrt(2.0), 0.005);
}

TEST_F(CaptureRig, StalledStreamTimesOutAfterTenSecondsAndFailsTheCapture) {
    markBuffers();
    rig.board.stall(true);
    const double t0 = rig.clock.now();
    EXPECT_EQ(data.collect_data(16, kPortUsb), kStatusNoPacket);
    // Pacing of the capture command, then the first poll past ten seconds of silence.
    EXPECT_NEAR(rig.clock.now() - t0, 0.01 + 10.0 + VirtualClock::kPollStep, 1e-9);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0], (std::pair<std::string, std::string>{
                                         "Error Message", "Timed out during data collection."}));
    expectMarked();
    // The board works again afterwards.
    rig.board.stall(false);
    EXPECT_EQ(data.collect_data(16, kPortUsb), 0);
}

TEST_F(CaptureRig, BoardUnpluggedDuringCaptureFailsWithTheConnectionMessage) {
    markBuffers();
    int lost = 0;
    rig.link.onConnectionLost = [&] { ++lost; };
    rig.board.unplugAfterReads(1);
    EXPECT_EQ(data.collect_data(16, kPortUsb), 1);
    EXPECT_EQ(rig.link.Rcv_Pac_Ret, 1);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].second, evkit::msg::kConnectionLost);
    EXPECT_EQ(lost, 1);
    expectMarked();
}

TEST_F(CaptureRig, WorkerFailuresEachFailTheCaptureWithTheirMessage) {
    struct Case {
        std::function<void(sim::VirtualBoard&)> inject;
        const char* message;
    };
    const Case cases[] = {
        {[](sim::VirtualBoard& b) { b.failNextWrite(); },
         "Unable to send data collection command to board."},
        {[](sim::VirtualBoard& b) { b.failNextQueueCheck(false); },
         "During data collection, unable to get RX Queue Status."},
        {[](sim::VirtualBoard& b) { b.failNextQueueCheck(true); },
         "During data collection, unable to get RX Queue Status.\nPacket OverRun at PC"},
        {[](sim::VirtualBoard& b) { b.failNextRead(); },
         "During data collection, unable to get RX Queue Status."},
        {[](sim::VirtualBoard& b) { b.shortReadNext(); },
         "During data collection, unable to get RX Queue Status."},
    };
    for (const auto& c : cases) {
        markBuffers();
        rig.messages.shown.clear();
        // Fun_USB itself writes the page frame first; fail the worker's own step.
        rig.link.collectionWorker = [&, inject = c.inject](BoardLink& l, std::uint8_t, std::uint8_t,
                                                           std::uint8_t) {
            inject(rig.board);
            return data.Rcv_Pac(l);
        };
        EXPECT_NE(data.collect_data(16, kPortUsb), 0) << c.message;
        ASSERT_EQ(rig.messages.shown.size(), 1u) << c.message;
        EXPECT_EQ(rig.messages.shown[0].second, c.message);
        EXPECT_EQ(rig.link.Rcv_Pac_Ret, 0);
        expectMarked();
    }
}

TEST_F(CaptureRig, SampleCountMustFitTheEntryAndTheBuffer) {
    markBuffers();
    EXPECT_EQ(data.collect_data(32, kPortUsb), kStatusBadSampleCount);  // entry 0 delivers 16
    data.settings.samples_index = 99;
    EXPECT_EQ(data.collect_data(16, kPortUsb), kStatusBadSampleCount);
    EXPECT_EQ(rig.messages.shown.size(), 2u);
    EXPECT_TRUE(rig.takeFrames().empty());
    expectMarked();
    EXPECT_EQ(data.collect_data(16, kPortNone), 0);  // no source: nothing happens
}

TEST_F(CaptureRig, SequenceReadsTheRateCapturesAndStopsTheDevice) {
    rig.session.xtal_speed = 4.096f;
    int analysed = 0;
    ASSERT_EQ(data.collectSequence([&] {
        if (int s = data.captureBlock()) return s;
        ++analysed;
        return 0;
    }),
              0);
    EXPECT_EQ(analysed, 1);
    EXPECT_EQ(rig.session.fs, 4000.0f);
    EXPECT_EQ(
        rig.takeFrames(),
        (std::vector<std::string>{"7e 00 00 00 00 00", "00 00 00 00 00 00", "f8 02 04 00 00 01",
                                  "a0 00 00 00 00 00", "7e 00 00 00 00 00", "5e 00 00 90 00 00"}));
    // Divider 4: a quarter of the rate.
    ASSERT_EQ(rig.link.writeRegister(0, 0, 4), 0);
    ASSERT_EQ(data.readSampleRate(), 0);
    EXPECT_EQ(rig.session.fs, 1000.0f);
}

TEST_F(CaptureRig, ZeroClockDividerIsRefusedBeforeAnyCapture) {
    ASSERT_EQ(rig.link.writeRegister(0, 0, 0x000010), 0);  // K = 0
    rig.takeFrames();
    rig.session.fs = 55.0f;
    bool ran = false;
    EXPECT_EQ(data.collectSequence([&] {
        ran = true;
        return 0;
    }),
              kStatusNoClockDivider);
    EXPECT_FALSE(ran);
    EXPECT_EQ(rig.session.fs, 55.0f);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].second, msg::kClockDividerZero);
    EXPECT_EQ(rig.takeFrames().size(), 2u);  // the divider read only
}

TEST_F(CaptureRig, SecondsDelayRunsOnTheClockAndOtherCommandsAreRefused) {
    data.settings.seconds_delay = 3;
    int pumped = 0, refused = 0;
    rig.pump.onProcess = [&] {
        ++pumped;
        std::int32_t w = 0;
        if (rig.link.readRegister(0, 15, &w) == kStatusBusy) ++refused;
        BoardClaim other(rig.link, "monitor");
        if (!other.ok()) ++refused;
    };
    const double t0 = rig.clock.now();
    double delayed = -1;
    int pumpedInDelay = -1;
    ASSERT_EQ(data.collectSequence([&] {
        delayed = rig.clock.now() - t0;
        pumpedInDelay = pumped;
        return data.captureBlock();
    }),
              0);
    // The divider read (10 ms pacing), then exactly three seconds, with events before the
    // wait and after each second.
    EXPECT_NEAR(delayed, 0.01 + 3.0, 1e-9);
    EXPECT_EQ(pumpedInDelay, 4);
    EXPECT_EQ(refused, 2 * pumped);
    rig.pump.onProcess = nullptr;
    // After the sequence the board is free again.
    std::int32_t w = 0;
    EXPECT_EQ(rig.link.readRegister(0, 15, &w), 0);
}

// A capture that fails while the board is still there still puts the device back to rest
// (0xA0, then 0:15 <- 0x900000) and returns the capture's own status; a lost board gets
// nothing more.
TEST_F(CaptureRig, FailedCaptureStillRestsTheDeviceUnlessTheBoardIsGone) {
    struct Case {
        const char* name;
        std::function<void(sim::VirtualBoard&)> inject;  // inside the reception worker
        bool boardStays;
    };
    const Case cases[] = {
        {"time-out", [](sim::VirtualBoard& b) { b.stall(true); }, true},
        {"queue failure", [](sim::VirtualBoard& b) { b.failNextQueueCheck(false); }, true},
        {"read failure", [](sim::VirtualBoard& b) { b.failNextRead(); }, true},
        {"short read", [](sim::VirtualBoard& b) { b.shortReadNext(); }, true},
        {"board unplugged", [](sim::VirtualBoard& b) { b.unplug(); }, false},
    };
    const std::vector<std::string> rest = {"a0 00 00 00 00 00", "7e 00 00 00 00 00",
                                           "5e 00 00 90 00 00"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::SimRig r;
        ASSERT_EQ(r.open(), 0);
        DataCollection d{r.session};
        r.link.collectionWorker = [&, inject = c.inject](BoardLink& l, std::uint8_t, std::uint8_t,
                                                         std::uint8_t) {
            inject(r.board);
            return d.Rcv_Pac(l);
        };
        r.board.device().setReg(0, 15, 0x000001);
        const int status = d.collectSequence([&] { return d.captureBlock(); });
        EXPECT_NE(status, 0);
        if (c.name == std::string("time-out")) {
            EXPECT_EQ(status, kStatusNoPacket);
        }
        auto frames = r.takeFrames();
        const auto at = std::search(frames.begin(), frames.end(), rest.begin(), rest.end());
        EXPECT_EQ(at != frames.end(), c.boardStays);
        if (c.boardStays) {
            EXPECT_EQ(std::vector<std::string>(at, frames.end()), rest);  // the last frames
            ASSERT_FALSE(r.messages.shown.empty());  // the capture's message comes first
            EXPECT_NE(r.messages.shown[0].second, evkit::msg::kConnectionLost);
        }
    }
}

// Files hold the block as captured: a sample count confirmed afterwards without a capture
// changes neither the capture file nor the sample export.
TEST_F(CaptureRig, FilesHoldTheBlockAsCapturedNotTheCountConfirmedSince) {
    const std::string dat = ::testing::TempDir() + "evkit_captured_count.dat";
    const std::string txt = ::testing::TempDir() + "evkit_captured_count.txt";
    EXPECT_FALSE(data.writeCaptureFile(dat));  // nothing captured yet
    ASSERT_EQ(data.collectSequence([&] { return data.captureBlock(); }), 0);  // 16 samples
    const std::vector<std::int32_t> block(data.blockCodes().begin(), data.blockCodes().end());
    ASSERT_EQ(block.size(), 16u);
    data.settings.setSampleIndex(2);  // 64 confirmed, not captured
    ASSERT_EQ(data.settings.samples, 64);
    ASSERT_TRUE(data.writeCaptureFile(dat));
    const auto read = read_capture_file(dat);
    ASSERT_TRUE(read.file);
    EXPECT_EQ(read.file->samples, 16);
    EXPECT_EQ(read.file->codes, block);
    ASSERT_TRUE(data.writeSampleExport(txt));
    std::ifstream in(txt);
    int lines = 0;
    for (std::string line; std::getline(in, line);) lines += !line.empty();
    const auto expected = format_sample_export(
        16, std::span<const std::int32_t>(data.buffers.channel1_data).first(16),
        std::span<const std::int32_t>(data.buffers.channel2_data).first(16));
    int expectedLines = 0;
    for (char ch : expected) expectedLines += ch == '\n';
    EXPECT_EQ(lines, expectedLines);
    EXPECT_NE(lines, 0);
}

// The header word of a board capture is the identified family's (PM7014 when unknown), and
// the header and range of a file read before do not carry over to a board capture.
TEST(CaptureHeader, BoardCapturesCarryTheIdentifiedFamily) {
    struct Case {
        const char* variant;
        const char* part;
    };
    const Case cases[] = {{"PM7010A", "PM7010A"},
                          {"PM7017-C1", "PM7017"},
                          {"PM7014-C", "PM7014"},
                          {"PM7013-B", "PM7013"},
                          {"UNKNOWN", "PM7014"}};
    const std::string file = ::testing::TempDir() + "evkit_header_family.dat";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        test::SimRig rig(c.variant);
        ASSERT_EQ(rig.open(), 0);
        rig.session.chip = autodetect_device(rig.link).chip;
        // A file with a header and range of its own is read first.
        ASSERT_TRUE(
            write_capture_file(file, "OTHER", 1000.0f, 16, 1024, std::vector<std::int32_t>(16, 7)));
        DataCollection d{rig.session};
        rig.session.port_number = kPortDisk;
        rig.session.input_file = file;
        ASSERT_EQ(d.collectSequence([&] { return d.captureBlock(); }), 0);
        EXPECT_EQ(rig.session.part, "OTHER");
        rig.session.port_number = kPortUsb;
        ASSERT_EQ(d.collectSequence([&] { return d.captureBlock(); }), 0);
        EXPECT_EQ(rig.session.part, c.part);
        EXPECT_EQ(rig.session.range, 8388608);
        ASSERT_TRUE(d.writeCaptureFile(file));
        const auto read = read_capture_file(file);
        ASSERT_TRUE(read.file);
        EXPECT_EQ(read.file->part, c.part);
        EXPECT_EQ(read.file->range, 8388608);
    }
}

TEST_F(CaptureRig, NoSourceFailsAtTheDividerRead) {
    DataCollection idle(rig.session);
    rig.session.port_number = kPortNone;
    rig.link.cyHandle = 0;
    EXPECT_NE(idle.collectSequence([&] { return idle.captureBlock(); }), 0);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].second, evkit::msg::kConnectionLost);
}

TEST_F(CaptureRig, WrittenCaptureReadsBackInDiskMode) {
    data.settings.setSampleIndex(2);
    ASSERT_EQ(data.collectSequence([&] { return data.captureBlock(); }), 0);
    data.showChannel(2);
    const std::vector<std::int32_t> block(data.blockCodes().begin(), data.blockCodes().end());
    const std::string file = ::testing::TempDir() + "evkit_capture_roundtrip.dat";
    ASSERT_TRUE(data.writeCaptureFile(file));

    test::SimRig other;
    DataCollection disk(other.session);
    other.session.port_number = kPortDisk;
    other.session.input_file = file;
    other.session.fs = 1.0f;
    std::fill(disk.buffers.channel2_data.begin(), disk.buffers.channel2_data.end(), 5);
    ASSERT_EQ(disk.collectSequence([&] { return disk.captureBlock(); }), 0);
    EXPECT_TRUE(other.takeFrames().empty());  // disk mode: nothing sent
    EXPECT_EQ(other.session.part, "PM7014");
    EXPECT_EQ(other.session.fs, 4000.0f);
    EXPECT_EQ(other.session.range, 8388608);
    EXPECT_EQ(disk.settings.samples, 64);
    EXPECT_EQ(std::vector<std::int32_t>(disk.blockCodes().begin(), disk.blockCodes().end()), block);
    EXPECT_EQ(disk.block()[10], block[10]);
    EXPECT_EQ(disk.buffers.channel2_data[0], 0);
    EXPECT_EQ(disk.buffers.channel2_data[64], 5);
    EXPECT_EQ(disk.title, file);
    // Channel 1 in disk mode keeps the file's block.
    disk.showChannel(1);
    EXPECT_EQ(disk.buffers.sample_data[3], block[3]);
    EXPECT_EQ(time_test(disk.block()).maximum, *std::max_element(block.begin(), block.end()));
}

TEST(CaptureStream, CodesClipAtFullScale) {
    EXPECT_EQ(sim::toCode(1.5), 8388607);
    EXPECT_EQ(sim::toCode(-1.0), -8388608);
    EXPECT_EQ(sim::toCode(0.5), 4194304);
}

TEST(CollectionSettings, DefaultsPairsAndSampleCounts) {
    CollectionSettings s;
    EXPECT_EQ(s.samples, 16);
    EXPECT_EQ(s.bin_width, 256);
    EXPECT_EQ(s.window, 4);
    EXPECT_EQ(s.data_delay, 1);
    EXPECT_EQ(s.selectedPair(), 0);
    s.selectPair(0, 0);  // unchecking the only pair keeps it
    EXPECT_EQ(s.selectedPair(), 0);
    s.checkmark[4] = 1;
    s.selectPair(3);
    EXPECT_EQ(s.selectedPair(), 3);
    EXPECT_EQ(s.checkmark[0] + s.checkmark[1] + s.checkmark[2] + s.checkmark[4], 0);
    // The sample-count table at its edges.
    EXPECT_EQ(sampleCountForIndex(0), 16);
    EXPECT_EQ(sampleCountForIndex(11), 32768);
    EXPECT_FALSE(sampleCountForIndex(-1));
    EXPECT_FALSE(sampleCountForIndex(12));
    EXPECT_EQ(indexForSampleCount(16), 0);
    EXPECT_EQ(indexForSampleCount(1024), 6);
    EXPECT_EQ(indexForSampleCount(32768), 11);
    for (int bad : {0, 15, 17, 1023, 32767, 32769, 65536})
        EXPECT_FALSE(indexForSampleCount(bad)) << bad;
}
static_assert(kSampleCounts.back() * kChannels <= kBufferSize);

}  // namespace
}  // namespace evkit::collection
