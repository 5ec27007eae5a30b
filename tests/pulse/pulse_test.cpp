// The pulse measurement: gate word, rates, running statistics, cancel and refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pulse/pulse_measurement.h"
#include "sim_rig.h"

using namespace evkit;
using namespace evkit::pulse;

TEST(PulseFormulas, RatesGateWordAndDeviationRule) {
    EXPECT_DOUBLE_EQ(rate(800, 1.0, 400), 1000.0);  // divisor T - 0.2 s
    EXPECT_DOUBLE_EQ(deadTime(4000), 2.0);
    EXPECT_EQ(gateWord(3.0), 150u);
    EXPECT_EQ(gateWord(1.999), 99u);  // truncated toward zero
    EXPECT_FALSE(gateProblem(1.0, 400));
    EXPECT_TRUE(gateProblem(0.2, 400));     // zero divisor
    EXPECT_TRUE(gateProblem(0.1, 400));     // negative divisor
    EXPECT_TRUE(gateProblem(400000.0, 0));  // beyond the three bytes of the gate word

    RunningStats one;
    one.add(1234.5);
    EXPECT_EQ(one.deviation(), 0.0);  // a single value has no spread
    RunningStats close;
    close.add(1000.0);
    close.add(1000.0001);  // variance 2.5e-9, below 1e-07
    EXPECT_EQ(close.deviation(), 0.0);
    RunningStats spread;
    for (double r : {1.0, 2.0, 3.0}) spread.add(r);
    EXPECT_DOUBLE_EQ(spread.mean(), 2.0);
    EXPECT_NEAR(spread.deviation(), std::sqrt(2.0 / 3.0), 1e-12);
}

namespace {

struct PulseTest : ::testing::Test {
    void SetUp() override {
        ASSERT_EQ(rig.open(), 0);
        ASSERT_EQ(rig.link.writeRegister(1, 19, 400), 0);  // N = 400: dead time 0.2 s
        rig.takeFrames();
        cb.started = [this](std::int32_t n) { cycleCount = n; };
        cb.counted = [this](const CountResult& r) { results.push_back(r); };
    }
    int countCommands() {
        int n = 0;
        for (const auto& f : rig.takeFrames()) n += f.rfind("f6 ", 0) == 0;
        return n;
    }
    test::SimRig rig;
    Callbacks cb;
    std::int32_t cycleCount = -1;
    std::vector<CountResult> results;
};

}  // namespace

TEST_F(PulseTest, CountsEveryGateAndKeepsRunningStatistics) {
    const double start = rig.clock.now();
    ASSERT_EQ(measure(rig.link, 1.0, 3, cb), 0);
    // The cycle-count read, then per count its pacing and the one-second gate.
    EXPECT_NEAR(rig.clock.now() - start, 0.01 + 3 * (0.01 + 1.0), 1e-9);
    EXPECT_EQ(cycleCount, 400);
    const auto frames = rig.takeFrames();
    ASSERT_GE(frames.size(), 4u);
    EXPECT_EQ(frames[1], "26 00 00 00 00 00");  // cycle count 1:19
    int gates = 0;
    for (const auto& f : frames) gates += f == "f6 32 00 00 00 00";  // g = 50
    EXPECT_EQ(gates, 3);
    ASSERT_EQ(results.size(), 3u);
    RunningStats expect[3];
    for (const auto& r : results)
        for (size_t k = 0; k < 3; ++k) {
            EXPECT_DOUBLE_EQ(r.rates[k], r.counts[k] / 0.8);
            expect[k].add(r.rates[k]);
        }
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_DOUBLE_EQ(results.back().means[k], expect[k].mean());
        EXPECT_DOUBLE_EQ(results.back().deviations[k], expect[k].deviation());
        EXPECT_GT(results.back().counts[k], 0);
    }
    EXPECT_EQ(results[0].deviations[0], 0.0);
    EXPECT_FALSE(rig.link.busy());
}

TEST_F(PulseTest, NoCountsWhenRepeatIsZero) {
    ASSERT_EQ(measure(rig.link, 1.0, 0, cb), 0);
    EXPECT_EQ(cycleCount, 400);
    EXPECT_EQ(countCommands(), 0);
    EXPECT_TRUE(results.empty());
}

TEST_F(PulseTest, GateNotLongerThanTheDeadTimeIsRefused) {
    EXPECT_EQ(measure(rig.link, 0.2, 2, cb), kStatusRefused);
    EXPECT_EQ(countCommands(), 0);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].first, "Error");
    EXPECT_NE(rig.messages.shown[0].second.find("longer than 0.2 s"), std::string::npos);
}

TEST_F(PulseTest, StopDuringTheGateCancelsWith255) {
    int polls = 0;
    rig.pump.onProcess = [&] {
        if (++polls == 3) rig.pump.cancel = true;
    };
    EXPECT_EQ(measure(rig.link, 1.0, 5, cb), kStatusCancelled);
    EXPECT_TRUE(results.empty());
    const auto frames = rig.takeFrames();
    EXPECT_EQ(frames.back(), "a0 00 00 00 00 00");  // the board is told to stop counting
    EXPECT_FALSE(rig.link.busy());
}

TEST_F(PulseTest, StopBetweenCountsEndsTheMeasurement) {
    cb.stopRequested = [this] { return results.size() == 2; };
    EXPECT_EQ(measure(rig.link, 1.0, 5, cb), 0);
    EXPECT_EQ(results.size(), 2u);
    EXPECT_EQ(countCommands(), 2);
}

TEST_F(PulseTest, FailuresEndTheMeasurement) {
    rig.board.failNextRead();
    EXPECT_NE(measure(rig.link, 1.0, 2, cb), 0);
    EXPECT_EQ(cycleCount, -1);
    EXPECT_EQ(countCommands(), 0);

    rig.board.failNextQueueCheck(false);
    EXPECT_NE(measure(rig.link, 1.0, 2, cb), 0);
    EXPECT_TRUE(results.empty());

    ASSERT_TRUE(rig.link.tryClaim("a capture"));
    EXPECT_EQ(measure(rig.link, 1.0, 2, cb), kStatusBusy);
    rig.link.release();
}

TEST(PulseFormulas, GateWordOfEveryHundredthIsExactAndUnderOneUnitRefused) {
    // Under one gate unit of 20 ms the board would count for no time: refused.
    EXPECT_EQ(gateWord(0.019), 0u);
    EXPECT_TRUE(gateProblem(0.019, 0));
    EXPECT_TRUE(gateProblem(0.0, 0));
    EXPECT_FALSE(gateProblem(0.02, 0));

    // Every gate time typed with up to two decimals gives exactly T / 0.02 units, also where
    // 50 T falls just short of a whole number in floating point (50 x 2.3 = 114.999...).
    int inexact = 0;
    for (int hundredths = 2; hundredths <= 100000; ++hundredths) {
        const double t =
            std::stod(std::to_string(hundredths / 100) + "." + (hundredths % 100 < 10 ? "0" : "") +
                      std::to_string(hundredths % 100));
        inexact += std::trunc(50.0 * t) != hundredths / 2;  // what plain truncation gives
        ASSERT_EQ(gateWord(t), static_cast<std::uint32_t>(hundredths / 2)) << t;
    }
    EXPECT_GT(inexact, 0);  // the table holds the cases that truncation gets wrong
    EXPECT_EQ(gateWord(2.3), 115u);
    EXPECT_EQ(gateWord(1.15), 57u);  // 57.5 units: a half unit is not counted
}

namespace {

// Holds the board's answer back: reports one byte waiting (the board is heard from) but not
// the whole answer until `readyAt` (virtual seconds).
class LateAnswer : public F32x {
  public:
    LateAnswer(F32x& inner, Clock& clock, double readyAt)
        : inner_(inner), clock_(clock), readyAt_(readyAt) {}
    int GetNumDevices(std::uint32_t* c) override { return inner_.GetNumDevices(c); }
    int GetProductString(std::uint32_t i, std::string* p) override {
        return inner_.GetProductString(i, p);
    }
    int Open(std::uint32_t i, F32xHandle* h) override { return inner_.Open(i, h); }
    int SetTimeouts(std::uint32_t r, std::uint32_t w) override { return inner_.SetTimeouts(r, w); }
    int Write(F32xHandle h, const std::uint8_t* b, std::uint32_t n, std::uint32_t* w) override {
        return inner_.Write(h, b, n, w);
    }
    int Read(F32xHandle h, std::uint8_t* b, std::uint32_t n, std::uint32_t* r) override {
        return inner_.Read(h, b, n, r);
    }
    int CheckRXQueue(F32xHandle h, std::uint32_t* b, std::uint32_t* s) override {
        if (clock_.now() < readyAt_) {
            *b = 1;
            *s = 0;
            return 0;
        }
        return inner_.CheckRXQueue(h, b, s);
    }
    int FlushBuffers(F32xHandle h) override { return inner_.FlushBuffers(h); }
    int Close(F32xHandle h) override { return inner_.Close(h); }

  private:
    F32x& inner_;
    Clock& clock_;
    double readyAt_;
};

}  // namespace

TEST_F(PulseTest, ABoardThatSendsNothingIsGivenUpAfterTheGateTimePlusTenSeconds) {
    double secondCountAt = -1;
    cb.counted = [&](const CountResult& r) {
        results.push_back(r);
        rig.board.stall(true);  // the board falls silent after the first count
        secondCountAt = rig.clock.now();
    };
    // A wait without a limit is stopped after 100 s, and fails the status check below.
    rig.pump.onProcess = [&] {
        if (secondCountAt >= 0 && rig.clock.now() > secondCountAt + 100.0) rig.pump.cancel = true;
    };
    EXPECT_EQ(measure(rig.link, 3.0, 2, cb), kStatusTimedOut);
    EXPECT_EQ(results.size(), 1u);
    // Given up at the first poll past 3 s + 10 s of silence.
    const double waited = rig.clock.now() - secondCountAt;
    EXPECT_GT(waited, 13.0);
    EXPECT_LT(waited, 13.0 + 0.05);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].second, "Timed out during data collection.");
    const auto frames = rig.takeFrames();
    EXPECT_EQ(frames.back(), "a0 00 00 00 00 00");  // the board is told to stop counting
    EXPECT_FALSE(rig.link.busy());
}

TEST_F(PulseTest, ABoardThatAnswersIsWaitedForAsLongAsItTakes) {
    // Heard from at once, complete only 60 s after a 1 s gate: still a count.
    LateAnswer late(rig.board, rig.clock, rig.clock.now() + 60.0);
    rig.link.setTransport(late);
    EXPECT_EQ(measure(rig.link, 1.0, 1, cb), 0);
    rig.link.setTransport(rig.board);
    EXPECT_EQ(results.size(), 1u);
    EXPECT_TRUE(rig.messages.shown.empty());
    EXPECT_GE(rig.clock.now(), 60.0);
}
