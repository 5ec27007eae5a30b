// The monitor run on the virtual board: set-up checks, update loop, stop, errors, entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "conversion/monitor.h"
#include "fault_rig.h"
#include "sim/conversion_stream.h"
#include "sim/temperature_model.h"
#include "sim_rig.h"

using namespace evkit;
using namespace evkit::conversion;

namespace {

// Records what the monitor shows; hooks let a test act at a given moment.
struct RecordingView : MonitorView {
    void prepare(int c, bool s) override {
        prepared = true;
        count = c;
        single = s;
    }
    void runStarted() override { ++started; }
    void runEnded() override { ++ended; }
    void showCycle(const Values& v) override {
        cycles.push_back(v);
        if (onCycle) onCycle(static_cast<int>(cycles.size()));
    }
    void showLineFrequency(double hz) override { lineFrequencies.push_back(hz); }
    void showTmeas(std::uint32_t w) override { tmeas.push_back(w); }
    void showStatistics(const Values& m, const Values& d) override {
        means.push_back(m);
        deviations.push_back(d);
    }
    void updateDone(int n, const std::string& time) override {
        updates = n;
        lastTime = time;
        if (onUpdate) onUpdate(n);
    }
    void hideConsole() override { consoleHidden = true, hiddenAt = now ? now() : -1; }
    std::function<double()> now;
    double hiddenAt = -1;

    bool prepared = false, single = false, consoleHidden = false;
    int count = 0, started = 0, ended = 0, updates = 0;
    std::vector<Values> cycles, means, deviations;
    std::vector<double> lineFrequencies;
    std::vector<std::uint32_t> tmeas;
    std::string lastTime;
    std::function<void(int)> onCycle, onUpdate;
};

struct MonitorFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        rig.link.onConnectionLost = [this] { ++connectionLost; };
        rig.takeFrames();
    }
    // Stops the run at the end of update n.
    void stopAfter(int n) {
        view.onUpdate = [this, n](int u) {
            if (u >= n) monitor.STOP_CONV();
        };
    }
    bool sent(const std::vector<std::string>& frames, const std::string& f) {
        return std::find(frames.begin(), frames.end(), f) != frames.end();
    }

    test::SimRig rig;
    ConversionMonitor monitor{rig.session, rig.console};
    RecordingView view;
    int connectionLost = 0;
};

double rmsOf(const sim::InputSignal& s) {
    const double h = 1.0 + s.harmonic3 * s.harmonic3 + s.harmonic5 * s.harmonic5;
    return std::sqrt(s.amplitude * s.amplitude / 2.0 * h + s.dcOffset * s.dcOffset +
                     s.noiseRms * s.noiseRms);
}

// Active power over whole periods: the in-phase products of each harmonic plus the DC terms.
double activePowerOf(const sim::InputSignal& v, const sim::InputSignal& i) {
    const double d = (v.phaseDeg - i.phaseDeg) * std::numbers::pi / 180.0;
    return v.amplitude * i.amplitude / 2.0 *
               (std::cos(d) + v.harmonic3 * i.harmonic3 * std::cos(3 * d) +
                v.harmonic5 * i.harmonic5 * std::cos(5 * d)) +
           v.dcOffset * i.dcOffset;
}

}  // namespace

TEST_F(MonitorFixture, SingleRunReadsOneGroupAndEndsWithHaltWithoutDimming) {
    EXPECT_EQ(monitor.START(3, true, view), 0);
    EXPECT_TRUE(view.single);
    EXPECT_EQ(view.started, 0);  // buttons never dimmed in single mode
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(view.cycles.size(), 3u);
    EXPECT_EQ(view.updates, 1);
    EXPECT_EQ(view.means.size(), 1u);
    EXPECT_EQ(monitor.convert_flag, 0);
    EXPECT_FALSE(rig.link.busy());
    const auto frames = rig.takeFrames();
    // Set-up reads cycle count then configuration, then the start frame; the halt comes last.
    const std::vector<std::string> head = {"7e 01 00 00 00 00", "26 00 00 00 00 00",
                                           "7e 00 00 00 00 00", "7e 00 00 00 00 00",
                                           "00 00 00 00 00 00", "fb 00 00 00 00 00"};
    ASSERT_GE(frames.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(frames.begin(), frames.begin() + 6), head);
    EXPECT_EQ(frames.back(), "a0 00 00 00 00 00");
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "22 00 00 00 00 00"), 3);  // epsilon
}

TEST_F(MonitorFixture, CountOneShowsOnlyCurrentValues) {
    stopAfter(2);
    EXPECT_EQ(monitor.START(1, false, view), 0);
    EXPECT_EQ(view.updates, 2);
    EXPECT_EQ(view.cycles.size(), 2u);
    EXPECT_TRUE(view.means.empty());
    EXPECT_EQ(view.started, 1);
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(rig.takeFrames().back(), "a0 00 00 00 00 00");
}

TEST_F(MonitorFixture, CountFiveAveragesTheFiveCyclesOfEachUpdate) {
    rig.board.device().signal.inputs[sim::kV1].noiseRms = 0.01;  // readings that differ
    stopAfter(2);
    EXPECT_EQ(monitor.START(5, false, view), 0);
    ASSERT_EQ(view.cycles.size(), 10u);
    ASSERT_EQ(view.means.size(), 2u);
    for (int u = 0; u < 2; ++u) {
        for (int q : {V1RMS, PF1, T}) {
            double sum = 0, sum2 = 0;
            for (int c = 0; c < 5; ++c) {
                const double x =
                    view.cycles[static_cast<size_t>(5 * u + c)][static_cast<size_t>(q)];
                sum += x;
                sum2 += x * x;
            }
            const double mean = sum / 5;
            EXPECT_DOUBLE_EQ(view.means[static_cast<size_t>(u)][static_cast<size_t>(q)], mean);
            EXPECT_NEAR(view.deviations[static_cast<size_t>(u)][static_cast<size_t>(q)],
                        std::sqrt(std::max(0.0, sum2 / 5 - mean * mean)), 1e-12);
        }
    }
    EXPECT_GT(view.deviations[0][V1RMS], 0.0);
    EXPECT_EQ(view.deviations[0][T], 0.0);  // a steady temperature
}

TEST_F(MonitorFixture, StopTakesEffectAtTheEndOfTheUpdate) {
    view.onCycle = [this](int c) {
        if (c == 2) monitor.STOP_CONV();
    };
    EXPECT_EQ(monitor.START(4, false, view), 0);
    EXPECT_EQ(view.cycles.size(), 4u);
    EXPECT_EQ(view.updates, 1);

    RecordingView second;
    second.onUpdate = [this](int) { rig.pump.cancel = true; };  // Ctrl-C / pump stop
    EXPECT_EQ(monitor.START(2, false, second), 0);
    EXPECT_EQ(second.updates, 1);
}

TEST_F(MonitorFixture, EventsAreServedWhileWaitingAndOtherBoardCommandsAreRefused) {
    int served = 0, refused = 0;
    rig.pump.onProcess = [&] {
        ++served;
        std::int32_t w;
        if (rig.link.readRegister(0, 0, &w) == kStatusBusy) ++refused;
        RecordingView other;
        if (monitor.START(1, true, other) == kStatusBusy) ++refused;
    };
    stopAfter(1);
    EXPECT_EQ(monitor.START(1, false, view), 0);
    // A one-second cycle waited in 20 ms steps: the window stays alive between records.
    EXPECT_GT(served, 20);
    EXPECT_EQ(refused, 2 * served);
}

TEST_F(MonitorFixture, CycleCountBelow400IsRefusedAndNothingIsStarted) {
    rig.board.device().setReg(1, 19, 399);
    EXPECT_EQ(monitor.START(1, true, view), -1);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, " ");
    EXPECT_EQ(rig.messages.shown[0].second, conversion::msg::kCycleCountTooLow);
    const auto frames = rig.takeFrames();
    EXPECT_FALSE(sent(frames, "fb 00 00 00 00 00"));
    EXPECT_FALSE(sent(frames, "f9 00 00 00 00 00"));
    EXPECT_FALSE(rig.link.busy());

    rig.board.device().setReg(1, 19, 400);
    EXPECT_EQ(monitor.START(1, true, view), 0);
    EXPECT_TRUE(sent(rig.takeFrames(), "fb 00 00 00 00 00"));
    EXPECT_EQ(view.cycles.size(), 1u);
}

TEST_F(MonitorFixture, FlushAndStartFrameFailures) {
    rig.board.failNextFlush();
    EXPECT_NE(monitor.START(1, true, view), 0);
    EXPECT_TRUE(rig.messages.contains(evkit::msg::kConnectionLost));
    EXPECT_EQ(connectionLost, 1);
    EXPECT_FALSE(view.prepared);

    // A transport that refuses the start frame only.
    struct RefuseStart : F32x {
        explicit RefuseStart(F32x& t) : inner(t) {}
        int GetNumDevices(std::uint32_t* c) override { return inner.GetNumDevices(c); }
        int GetProductString(std::uint32_t i, std::string* p) override {
            return inner.GetProductString(i, p);
        }
        int Open(std::uint32_t i, F32xHandle* h) override { return inner.Open(i, h); }
        int SetTimeouts(std::uint32_t r, std::uint32_t w) override {
            return inner.SetTimeouts(r, w);
        }
        int Write(F32xHandle h, const std::uint8_t* b, std::uint32_t n, std::uint32_t* w) override {
            if (b[0] == kStartContinuous) return kF32xWriteError;
            return inner.Write(h, b, n, w);
        }
        int Read(F32xHandle h, std::uint8_t* b, std::uint32_t n, std::uint32_t* r) override {
            return inner.Read(h, b, n, r);
        }
        int CheckRXQueue(F32xHandle h, std::uint32_t* b, std::uint32_t* s) override {
            return inner.CheckRXQueue(h, b, s);
        }
        int FlushBuffers(F32xHandle h) override { return inner.FlushBuffers(h); }
        int Close(F32xHandle h) override { return inner.Close(h); }
        F32x& inner;
    } refuse(rig.board);
    rig.link.setTransport(refuse);
    rig.messages.shown.clear();
    RecordingView v2;
    EXPECT_EQ(monitor.START(1, false, v2), kF32xWriteError);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].second, "USB Write Error.");
    EXPECT_EQ(v2.started, 0);
    EXPECT_FALSE(monitor.running());
    EXPECT_FALSE(rig.link.busy());
    rig.link.setTransport(rig.board);
}

TEST_F(MonitorFixture, LostBoardWhileWaitingEndsTheRunWithoutHalt) {
    view.onUpdate = [this](int) { rig.board.unplug(); };
    const int s = monitor.START(1, false, view);
    EXPECT_NE(s, 0);
    EXPECT_EQ(view.updates, 1);
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(connectionLost, 1);
    ASSERT_FALSE(rig.messages.shown.empty());
    EXPECT_EQ(rig.messages.shown.back().first, evkit::msg::kErrorTitle);
    EXPECT_EQ(rig.messages.shown.back().second, evkit::msg::kConnectionLost);
    EXPECT_FALSE(sent(rig.takeFrames(), "a0 00 00 00 00 00"));
    EXPECT_FALSE(rig.link.busy());
    EXPECT_FALSE(monitor.running());
}

TEST_F(MonitorFixture, ReadFailureWritesToTheConsoleWaitsAndEndsWithoutHalt) {
    test::FaultTap tap(rig.board);
    rig.link.setTransport(tap);
    view.now = [&] { return rig.clock.now(); };
    view.onUpdate = [&](int) { tap.arm(test::Fault::ReadFails, 0); };  // the next record
    EXPECT_EQ(monitor.START(1, false, view), -1);
    EXPECT_EQ(rig.console.output, "USB READ error\n");
    EXPECT_TRUE(view.consoleHidden);
    // Four seconds between the failed read and the console going away, and nothing after.
    EXPECT_NEAR(view.hiddenAt - tap.triggeredAt, 4.0, 1e-9);
    EXPECT_NEAR(rig.clock.now(), view.hiddenAt, 1e-9);
    EXPECT_EQ(view.ended, 1);
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_FALSE(sent(rig.takeFrames(), "a0 00 00 00 00 00"));
}

TEST_F(MonitorFixture, ShortRecordIsAReadFailure) {
    view.onUpdate = [&](int) { rig.board.shortReadNext(); };
    EXPECT_EQ(monitor.START(1, false, view), -1);
    EXPECT_EQ(view.cycles.size(), 1u);
    EXPECT_EQ(rig.console.output, "USB READ error\n");
}

TEST_F(MonitorFixture, SilentStreamIsGivenUpAfterAStopRequest) {
    double stalledAt = -1;
    view.onUpdate = [&](int) {
        rig.board.stall(true);
        stalledAt = rig.clock.now();
    };
    // The stop is pressed while the run waits for a record that never comes.
    rig.pump.onProcess = [&] {
        if (stalledAt >= 0 && rig.clock.now() > stalledAt + 0.1) monitor.STOP_CONV();
    };
    EXPECT_EQ(monitor.START(1, false, view), 0);
    EXPECT_EQ(view.updates, 1);
    EXPECT_EQ(view.cycles.size(), 1u);
    EXPECT_EQ(view.ended, 1);
    // Given up at the first event round after two cycle periods (1 s each) of silence.
    EXPECT_GT(rig.clock.now() - stalledAt, 2.0);
    EXPECT_LE(rig.clock.now() - stalledAt, 2.0 + 0.02 + 0.001);
    EXPECT_TRUE(sent(rig.takeFrames(), "a0 00 00 00 00 00"));
}

TEST_F(MonitorFixture, TmeasIsFollowedUntilItReadsZero) {
    ASSERT_EQ(setTmeas(rig.session, 3), 0);
    EXPECT_EQ(rig.session.TmeasID, 1);
    EXPECT_EQ(rig.board.device().reg(5, 26), 3u);
    rig.takeFrames();
    stopAfter(5);
    EXPECT_EQ(monitor.START(1, false, view), 0);
    EXPECT_EQ(view.tmeas, (std::vector<std::uint32_t>{2, 1, 0}));
    EXPECT_EQ(rig.session.TmeasID, 0);
    // Three reads of page 5 (select, read, restore) and no more.
    const auto frames = rig.takeFrames();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), "7e 05 00 00 00 00"), 3);
}

TEST_F(MonitorFixture, LineFrequencyFromEpsilonAndClockDividerZero) {
    stopAfter(1);
    EXPECT_EQ(monitor.START(1, false, view), 0);
    ASSERT_EQ(view.lineFrequencies.size(), 1u);
    EXPECT_NEAR(view.lineFrequencies[0], 50.0, 0.001);

    // K = 0: the converter produces nothing, and the display is left alone.
    RecordingView v2;
    rig.board.device().setReg(0, 0, 0);
    v2.onUpdate = [this](int) { monitor.STOP_CONV(); };
    // No records come; a stop request ends the silent wait.
    rig.pump.onProcess = [this] { monitor.STOP_CONV(); };
    EXPECT_EQ(monitor.START(1, false, v2), 0);
    EXPECT_TRUE(v2.lineFrequencies.empty());
}

TEST_F(MonitorFixture, LineFrequencyEntryWritesEpsilonOrIsRefusedUnderAfc) {
    double shown = 0;
    std::uint32_t word = 0;
    EXPECT_EQ(setLineFrequency(rig.session, 60.0, &shown, &word), 0);
    EXPECT_EQ(shown, 60.0);
    EXPECT_EQ(word, 0x01EB85u);
    EXPECT_EQ(rig.board.device().reg(1, 17), 0x01EB85u);
    EXPECT_TRUE(sent(rig.takeFrames(), "62 85 eb 01 00 00"));

    rig.board.device().setReg(1, 16, 0x000001);  // AFC on
    shown = 0;
    EXPECT_EQ(setLineFrequency(rig.session, 50.0, &shown), -1);
    EXPECT_EQ(shown, 0.0);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "Error");
    EXPECT_EQ(rig.messages.shown[0].second,
              "Cannot set the Line Frequency when the AFC flag is enabled.");
    EXPECT_EQ(rig.board.device().reg(1, 17), 0x01EB85u);

    // Without a word for the frequency nothing is written: 0 Hz and below, and frequencies
    // above the word rate, whose epsilon would wrap around.
    rig.board.device().setReg(1, 16, 0);
    struct Case {
        std::uint32_t config;
        double hz;
    };
    for (const Case c : {Case{1, 0.0}, Case{1, -1.0}, Case{1, 4001.0}, Case{1, 6000.0},
                         Case{8, 501.0}, Case{8, 600.0}, Case{0, 0.0}}) {
        SCOPED_TRACE(c.hz);
        rig.messages.shown.clear();
        rig.board.device().setReg(0, 0, c.config);
        shown = 0;
        EXPECT_EQ(setLineFrequency(rig.session, c.hz, &shown), -1);
        EXPECT_EQ(shown, 0.0);
        EXPECT_EQ(rig.board.device().reg(1, 17), 0x01EB85u);
        ASSERT_EQ(rig.messages.shown.size(), 1u);
        EXPECT_NE(rig.messages.shown[0].second.find("Nothing was written"), std::string::npos);
    }
    // The edges keep the formula's words: the word rate itself maps to just below 2^23 (the
    // float oscillator value makes it 0x7ffffe), and K = 0 gives the word 0.
    const struct {
        std::uint32_t config;
        double hz;
        std::uint32_t word;
    } edges[] = {{8, 500.0, 0x7FFFFE}, {10, 400.0, 0x7FFFFE}, {8, 499.0, 0x7FBE75}, {0, 50.0, 0}};
    for (const auto& e : edges) {
        SCOPED_TRACE(e.hz);
        rig.board.device().setReg(0, 0, e.config);
        EXPECT_EQ(setLineFrequency(rig.session, e.hz, &shown, &word), 0);
        EXPECT_EQ(shown, e.hz);
        EXPECT_EQ(word, e.word);
        EXPECT_EQ(rig.board.device().reg(1, 17), e.word);
    }
}

// The virtual board's results follow its signal source.
TEST_F(MonitorFixture, ResultsMatchTheVirtualSignal) {
    const auto& src = rig.board.device().signal;
    EXPECT_EQ(monitor.START(1, true, view), 0);
    ASSERT_EQ(view.cycles.size(), 1u);
    const Values& v = view.cycles[0];
    const auto& V1 = src.inputs[sim::kV1];
    const auto& I1 = src.inputs[sim::kI1];
    EXPECT_NEAR(v[V1RMS], rmsOf(V1), 1e-4);
    EXPECT_NEAR(v[I1RMS], rmsOf(I1), 1e-4);
    EXPECT_NEAR(v[V2RMS], rmsOf(src.inputs[sim::kV2]), 1e-4);
    const double p = activePowerOf(V1, I1);
    EXPECT_NEAR(v[P1AVG], p, 1e-4);
    EXPECT_NEAR(v[S1], rmsOf(V1) * rmsOf(I1), 1e-4);
    // PF = P / S: the harmonics and offsets of the default source move it a little away
    // from the cosine of the phase, but well within 0.01.
    EXPECT_NEAR(v[PF1], p / (rmsOf(V1) * rmsOf(I1)), 1e-3);
    EXPECT_NEAR(v[PF1], std::cos((V1.phaseDeg - I1.phaseDeg) * std::numbers::pi / 180), 0.01);
    EXPECT_GT(v[Q1AVG], 0.0);  // lagging current
    EXPECT_NEAR(v[V1PEAK], V1.amplitude, 0.02);
    EXPECT_NEAR(v[T], sim::kDieTemperature, 1e-3);
    ASSERT_EQ(view.lineFrequencies.size(), 1u);
    EXPECT_NEAR(view.lineFrequencies[0], src.lineFrequency, 0.1);
}

TEST_F(MonitorFixture, TemperatureAndAcOffsetRegistersShapeTheResults) {
    auto& d = rig.board.device();
    d.setReg(1, 23, 0x001000);  // temperature offset: 833.333 * 2^-11 degrees
    ASSERT_EQ(monitor.START(1, true, view), 0);
    ASSERT_FALSE(view.cycles.empty());
    const double before = view.cycles.back()[I1RMS];
    EXPECT_NEAR(view.cycles.back()[T], sim::kDieTemperature + 833.333 / 2048.0, 0.01);
    d.setReg(1, 5, 0x100000);  // an AC offset on I1 adds to its mean square
    ASSERT_EQ(monitor.START(1, true, view), 0);
    EXPECT_GT(view.cycles.back()[I1RMS], before);
}

TEST_F(MonitorFixture, PhaseAndLineFrequencyOfTheSourceShowWithAfc) {
    auto& src = rig.board.device().signal;
    src.lineFrequency = 60.0;
    for (auto& in : src.inputs) in.harmonic3 = in.harmonic5 = in.dcOffset = in.noiseRms = 0.0;
    src.inputs[sim::kI1].phaseDeg = -60.0;
    rig.board.device().setReg(1, 16, 0x000001);  // AFC: epsilon follows the line
    stopAfter(2);
    EXPECT_EQ(monitor.START(1, false, view), 0);
    ASSERT_EQ(view.lineFrequencies.size(), 2u);
    EXPECT_NEAR(view.lineFrequencies[1], 60.0, 0.1);
    EXPECT_NEAR(view.cycles[1][PF1], 0.5, 0.002);
    EXPECT_NEAR(view.cycles[1][Q1AVG], 0.6 * 0.4 / 2 * std::sin(std::numbers::pi / 3), 1e-4);
}

namespace {

// A line frequency read that fails during the run (after the first update): the window's
// run goes on and says so at the end; a run that ends on failures stops at once.
TEST_F(MonitorFixture, AFailedRefreshReadIsReportedAndCanEndTheRun) {
    for (const bool endOnFailure : {false, true}) {
        SCOPED_TRACE(endOnFailure ? "ends on failure" : "goes on");
        test::SimRig r;
        ASSERT_EQ(r.open(), 0);
        ConversionMonitor m(r.session, r.console);
        m.endOnFailure = endOnFailure;
        RecordingView v;
        v.onUpdate = [&](int u) {
            if (u == 1) r.board.failNextWrite();  // the next refresh's page frame
            if (u >= 3) m.STOP_CONV();
        };
        r.takeFrames();
        EXPECT_EQ(m.START(1, false, v), kF32xWriteError);
        EXPECT_EQ(m.failedStatus(), kF32xWriteError);
        ASSERT_EQ(r.messages.shown.size(), 1u);
        EXPECT_EQ(r.messages.shown[0].second, evkit::msg::kWriteError);
        // Updates after the failure are shown only by the run that goes on.
        EXPECT_EQ(v.updates, endOnFailure ? 1 : 3);
        EXPECT_EQ(v.ended, 1);
        const auto frames = r.takeFrames();
        EXPECT_EQ(frames.back(), "a0 00 00 00 00 00");
        EXPECT_FALSE(r.link.busy());
    }
}

TEST_F(MonitorFixture, AFailedHaltFailsTheRun) {
    view.onUpdate = [this](int) {
        monitor.STOP_CONV();
        rig.board.failNextWrite();  // the halt
    };
    EXPECT_EQ(monitor.START(1, false, view), kF32xWriteError);
    EXPECT_EQ(view.updates, 1);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].second, evkit::msg::kWriteError);
}

}  // namespace
