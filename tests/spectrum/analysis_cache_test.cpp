// What is computed once per block length and window gives the very numbers of the step by
// step analysis: the reference level, the windowed transform, the frequency axis, and the
// results of analyses run one after another with other lengths, windows and rates.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "spectrum/analysis.h"
#include "spectrum/fft_plot.h"
#include "spectrum/freq_test.h"
#include "spectrum/reference_level.h"
#include "spectrum/refft.h"
#include "spectrum/windows.h"
#include "support/messages.h"

namespace evkit::spectrum {
namespace {

std::vector<double> block(int n, double cycles) {
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        x[i] = std::round(3e6 * std::sin(2.0 * std::numbers::pi * cycles * i / n + 0.1) +
                          ((i * 7919) % 301 - 150));
    return x;
}

// The analysis step by step, as one spectrum without caches: reference, window in place,
// transform, band power, dB values.
struct StepByStep {
    StepByStep(const std::vector<double>& x, int window, int range, double fs) {
        const auto n = x.size();
        std::vector<double> work(n);
        power.resize(n);
        perfect_sinewave(work, range);
        fft(state, window, work, power);
        state.maxy = fundamental(state, power, true);
        work = x;
        fft(state, window, work, power);
        spectrum = toDecibels(power, state.maxy, fs);
    }
    SpectralState state;
    std::vector<double> power;
    DbSpectrum spectrum;
};

TEST(AnalysisCache, SameNumbersAsTheStepByStepAnalysis) {
    FftTest test;
    RecordingMessages messages;
    // Lengths, windows, full scales and rates change from one analysis to the next and back:
    // nothing of one may stay in the next.
    struct Case {
        int n, window, range;
        double fs, cycles;
    } cases[] = {{4096, 4, 8388608, 4000.0, 301}, {1024, 0, 8388608, 4000.0, 77},
                 {4096, 2, 8388608, 1000.0, 301}, {4096, 4, 1048576, 4000.0, 301},
                 {3000, 1, 8388608, 4000.0, 250}, {4096, 4, 8388608, 4000.0, 301},
                 {1024, 3, 8388608, 4000.0, 77}};
    for (const Case& c : cases) {
        const auto x = block(c.n, c.cycles);
        FftTestSettings s;
        s.samples = c.n;
        s.window = c.window;
        s.range = c.range;
        s.fs = c.fs;
        ASSERT_EQ(test.freq_test(s, x, messages), 0);
        ASSERT_TRUE(test.last());
        const SpectrumResult& r = *test.last();
        const StepByStep ref(x, c.window, c.range, c.fs);
        EXPECT_EQ(r.state.maxy, ref.state.maxy) << c.n << " " << c.window;
        std::vector<double> scratch(static_cast<std::size_t>(c.n));
        EXPECT_EQ(referenceLevel(c.n, c.window, c.range, scratch), ref.state.maxy);
        EXPECT_EQ(r.power, ref.power) << c.n << " " << c.window;
        EXPECT_EQ(r.spectrum.db, ref.spectrum.db) << c.n << " " << c.window;
        EXPECT_EQ(r.spectrum.freq, ref.spectrum.freq) << c.n << " " << c.fs;
        EXPECT_EQ(r.newest.db, ref.spectrum.db);
        EXPECT_EQ(r.newest.freq, ref.spectrum.freq);
    }
}

TEST(AnalysisCache, WindowedTransformEqualsWindowingInPlace) {
    const auto x = block(2048, 100);
    for (int window : {0, 1, 2, 3, 4}) {
        std::vector<double> inPlace = x, a(x.size()), b(x.size());
        applyWindow(window, inPlace);
        realPowerSpectrum(inPlace, a);
        windowedPowerSpectrum(x, windowCoefficients(window, 2048), b);
        EXPECT_EQ(a, b) << window;
    }
}

TEST(AnalysisCache, FrequencyAxisFollowsTheRateAndLength) {
    std::vector<double> power(64, 1.0);
    DbSpectrum d;
    toDecibels(power, 1.0, 4000.0, d);
    EXPECT_EQ(d.freq[1], 4000.0 / 64);
    toDecibels(power, 1.0, 1000.0, d);  // same length, another rate
    EXPECT_EQ(d.freq[1], 1000.0 / 64);
    power.resize(128, 1.0);
    toDecibels(power, 1.0, 1000.0, d);  // another length
    ASSERT_EQ(d.freq.size(), 65u);
    EXPECT_EQ(d.freq[64], 1000.0 * 64 / 128);
}

}  // namespace
}  // namespace evkit::spectrum
