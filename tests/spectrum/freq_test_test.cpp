// The FFT test driver: refusals, full-scale level per window, averaging, quantisation noise,
// plot numbers and capture failures.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "spectrum/freq_test.h"
#include "spectrum/refft.h"
#include "support/messages.h"

namespace evkit::spectrum {
namespace {

constexpr int kRange = 8388608;

std::vector<double> sine(int n, double cycles, double amplitude, double phase = 0.3) {
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        x[i] = amplitude * std::sin(2.0 * std::numbers::pi * cycles * i / n + phase);
    return x;
}

FftTestSettings settings(int n, int window, int average = 1, double fs = 4000.0) {
    FftTestSettings s;
    s.samples = n;
    s.window = window;
    s.average = average;
    s.fs = fs;
    s.range = kRange;
    return s;
}

TEST(FreqTest, ShortBlocksRefusedWithMessage) {
    RecordingMessages messages;
    FftTest test;
    std::vector<double> block(64, 0.0);
    EXPECT_EQ(test.freq_test(settings(32, 4), block, messages), 0);
    EXPECT_EQ(test.outcome(), FftOutcome::kTooSmall);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].first, "Error Message");
    EXPECT_EQ(messages.shown[0].second,
              "Sample Size too Small, Increase it using the Settings\u2026 button");
    EXPECT_FALSE(test.last());

    // 33..47: the reference has a period of two samples and no power at all.
    for (int n : {33, 40, 47}) {
        messages.shown.clear();
        const auto x = sine(n, 5, 1e6);
        EXPECT_EQ(test.freq_test(settings(n, 2), x, messages), 0);
        EXPECT_EQ(test.outcome(), FftOutcome::kNoReference) << n;
        EXPECT_TRUE(messages.contains(kNoReferencePower));
        EXPECT_FALSE(test.last());
    }

    messages.shown.clear();
    const auto x = sine(48, 5, 1e6);
    EXPECT_EQ(test.freq_test(settings(48, 2), x, messages), 0);
    EXPECT_EQ(test.outcome(), FftOutcome::kAnalysed);
    ASSERT_TRUE(test.last());
    EXPECT_TRUE(std::isfinite(test.last()->stats.figures.sinad));
    EXPECT_GT(test.state().maxy, 0.0);
}

TEST(FreqTest, FullScaleSineReadsZeroFsPdBForEveryWindow) {
    const int n = 4096;
    const auto x = sine(n, 301, kRange - 1);
    for (int window : {0, 1, 2, 3, 4, 9}) {
        RecordingMessages messages;
        FftTest test;
        ASSERT_EQ(test.freq_test(settings(n, window), x, messages), 0);
        ASSERT_TRUE(test.last());
        const auto& r = *test.last();
        EXPECT_NEAR(r.stats.figures.fsPdB, 0.0, 0.1) << "window " << window;
        EXPECT_EQ(r.fundamentalBin(), 301);
        EXPECT_NEAR(r.fundamentalHz(), 4000.0 * 301 / n, 1e-9);
        // The peak bin alone lies below 0 dB for a real window: the reference level is
        // the power of its whole main lobe.
        if (window != 9) {
            EXPECT_LT(r.spectrum.db[301], -1.0) << "window " << window;
        }
        EXPECT_TRUE(messages.shown.empty());
    }
}

TEST(FreqTest, NoWindowKeepsLobeOfPreviousWindow) {
    RecordingMessages messages;
    FftTest test;
    const auto x = sine(1024, 100, 1e6);
    test.freq_test(settings(1024, 7), x, messages);
    EXPECT_EQ(test.state().ndt, 0);
    EXPECT_EQ(test.last()->state.dclim, 0);
    test.freq_test(settings(1024, 1), x, messages);
    test.freq_test(settings(1024, 7), x, messages);
    EXPECT_EQ(test.state().ndt, 4);
    EXPECT_EQ(test.last()->state.dclim, 11);
}

TEST(FreqTest, AveragesLinearPowerWhileAxisFollowsNewestBlock) {
    const int n = 1024;
    // Three blocks of different level and noise.
    std::vector<std::vector<double>> blocks;
    for (int b = 0; b < 3; ++b) {
        auto x = sine(n, 97, 1e6 * (b + 1));
        for (int i = 0; i < n; ++i) x[i] += ((i * 7919 + b * 104729) % 2001 - 1000) * (b + 1);
        blocks.push_back(x);
    }
    std::vector<double> buffer(70000, 0.0);
    int captured = 0;
    auto capture = [&] {
        std::copy(blocks[captured].begin(), blocks[captured].end(), buffer.begin());
        ++captured;
        return 0;
    };

    // Each block alone, as the in-memory analysis sees it.
    std::vector<SpectrumResult> single;
    for (const auto& x : blocks) {
        RecordingMessages m;
        FftTest t;
        t.freq_test(settings(n, 4), x, m);
        single.push_back(*t.last());
    }

    RecordingMessages messages;
    FftTest test;
    std::vector<SpectrumResult> seen;
    std::vector<int> starting;
    FftObserver observer{[&](int i) { starting.push_back(i); },
                         [&](const SpectrumResult& r) { seen.push_back(r); }};
    ASSERT_EQ(test.freq_test(settings(n, 4, 3), capture, buffer, messages, observer), 0);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(starting, (std::vector<int>{1, 2, 3}));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[i].block, static_cast<int>(i + 1));
        EXPECT_EQ(seen[i].blocks, 3);
        for (int k = 0; k < n; k += 37) {
            double mean = 0.0;
            for (std::size_t j = 0; j <= i; ++j) mean += single[j].power[k];
            mean /= static_cast<double>(i + 1);
            EXPECT_NEAR(seen[i].power[k], mean, 1e-9 * mean) << "block " << i + 1 << " bin " << k;
        }
        ASSERT_TRUE(seen[i].axis);
        const auto expected = axisScale(single[i].spectrum.db, 4000.0);
        EXPECT_EQ(seen[i].axis->yMin, expected.yMin);
        EXPECT_EQ(seen[i].axis->yDivisions, expected.yDivisions);
        EXPECT_EQ(seen[i].newest.db, single[i].spectrum.db);
    }
    // The averaged level lies between the single levels (linear, not dB average).
    const double avg = (1 + 4 + 9) / 3.0;
    EXPECT_NEAR(seen[2].stats.figures.fsPdB, single[0].stats.figures.fsPdB - 10 * std::log10(avg),
                0.01);
    EXPECT_EQ(test.last()->block, 3);
}

TEST(FreqTest, SingleAverageUsesTheBlockUnchanged) {
    const int n = 2048;
    const auto x = sine(n, 201, 3e6);
    std::vector<double> buffer = x;
    RecordingMessages messages;
    FftTest captureTest, memoryTest;
    captureTest.freq_test(
        settings(n, 0, 1), [] { return 0; }, buffer, messages);
    memoryTest.freq_test(settings(n, 0, 1), x, messages);
    EXPECT_EQ(captureTest.last()->power, memoryTest.last()->power);
    EXPECT_EQ(captureTest.last()->stats.figures.snr, memoryTest.last()->stats.figures.snr);
}

TEST(FreqTest, QuantisedSineSnrMatchesTheory) {
    // 16-bit steps inside the 24-bit code range, a tone coprime to the block length so the
    // quantisation error spreads as white noise.
    const int n = 32768;
    const double q = 256.0;
    const double amplitude = kRange - 2 * q;
    auto x = sine(n, 1031, amplitude);
    for (double& v : x) v = q * std::round(v / q);
    const double theory = 10.0 * std::log10(amplitude * amplitude / 2.0 / (q * q / 12.0));
    for (int window : {0, 4}) {
        RecordingMessages messages;
        FftTest test;
        test.freq_test(settings(n, window), x, messages);
        const auto& f = test.last()->stats.figures;
        EXPECT_NEAR(f.snr, theory, 0.5) << "window " << window;
        EXPECT_NEAR(f.sinad, theory, 0.5) << "window " << window;
        EXPECT_NEAR(f.fsPdB, -20 * std::log10(amplitude / kRange), 0.05);
        EXPECT_GT(f.spn, f.snr);
    }
}

TEST(FreqTest, PlotNumbersFoldHarmonicsAndKeepMarkersInRange) {
    const int n = 1024;
    auto x = sine(n, 300, 4e6);
    const auto h3 = sine(n, 900, 4e3, 1.0);  // 3rd harmonic: folds to bin 124
    for (int i = 0; i < n; ++i) x[i] += h3[i] + ((i * 7919) % 201 - 100);
    RecordingMessages messages;
    FftTest test;
    test.freq_test(settings(n, 4, 1, 8000.0), x, messages);
    const auto& r = *test.last();
    ASSERT_FALSE(r.plotError());
    ASSERT_EQ(r.spectrum.db.size(), 513u);
    EXPECT_DOUBLE_EQ(r.spectrum.freq[512], 4000.0);
    EXPECT_DOUBLE_EQ(r.spectrum.freq[1], 8000.0 / 1024);
    EXPECT_EQ(r.axis->xMax, 4000.0);
    EXPECT_EQ(r.axis->yMax, 0.0);
    const double lowest = *std::min_element(r.spectrum.db.begin(), r.spectrum.db.end());
    EXPECT_LE(r.axis->yMin, lowest);
    EXPECT_GT(r.axis->yMin, lowest - 20.0);
    EXPECT_EQ(r.axis->yDivisions, static_cast<int>(-r.axis->yMin / 20.0));

    ASSERT_EQ(r.annotation.labels.size(), 5u);
    EXPECT_EQ(r.annotation.labels[0].text, "F");
    EXPECT_EQ(r.annotation.labels[0].bin, 300);
    EXPECT_DOUBLE_EQ(r.annotation.labels[0].y, r.spectrum.db[300] + 5.0);
    // 2nd at 600 -> 424, 3rd at 900 -> 124, 4th at 1200 mod 1024 = 176, 5th 1500 -> 476 -> 476.
    const int bins[] = {424, 124, 176, 476};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r.annotation.labels[i + 1].text, std::to_string(i + 2));
        EXPECT_EQ(r.annotation.labels[i + 1].bin, bins[i]);
        EXPECT_DOUBLE_EQ(r.annotation.labels[i + 1].y, r.spectrum.db[bins[i]] + 12.0);
    }
    EXPECT_EQ(r.stats.harmonics[1].lo <= 124 && 124 <= r.stats.harmonics[1].hi, true);
    // 13 bins per harmonic and 13 red ones around the fundamental.
    ASSERT_EQ(r.annotation.markers.size(), 5u * 13u);
    for (const auto& m : r.annotation.markers) {
        EXPECT_GT(m.bin, r.state.dclim);
        EXPECT_LE(m.bin, 512);
    }
    EXPECT_EQ(r.annotation.markers.back().colour, kFundamentalMarkerColour);
    EXPECT_EQ(r.annotation.markers.back().y1, r.axis->yMin);
    EXPECT_EQ(r.annotation.markers.front().colour, kHarmonicMarkerColour);
    EXPECT_EQ(r.annotation.markers.front().y0, r.axis->yMin);
    EXPECT_DOUBLE_EQ(r.annotation.cursorX, r.spectrum.freq[300]);

    // Markers near DC and near H are dropped: a fundamental at 2 bins above the DC region.
    const auto low = sine(n, 16, 4e6);
    test.freq_test(settings(n, 4, 1, 8000.0), low, messages);
    for (const auto& m : test.last()->annotation.markers) {
        EXPECT_GT(m.bin, test.last()->state.dclim);
        EXPECT_LE(m.bin, 512);
    }
}

TEST(FreqTest, SilentBlockIsAPlottingError) {
    RecordingMessages messages;
    FftTest test;
    std::vector<double> zero(256, 0.0);
    EXPECT_EQ(test.freq_test(
                  settings(256, 2, 2), [] { return 0; }, zero, messages),
              0);
    // Once for the newest block, once for the averaged spectrum, per block.
    int plotting = 0;
    for (const auto& m : messages.shown)
        if (m.second == "Plotting Error") {
            EXPECT_EQ(m.first, "");
            ++plotting;
        }
    EXPECT_EQ(plotting, 4);
    ASSERT_TRUE(test.last());
    EXPECT_TRUE(test.last()->plotError());
    EXPECT_EQ(test.last()->spectrum.failedBin, 0);
    EXPECT_TRUE(test.last()->annotation.labels.empty());
    EXPECT_FALSE(test.last()->axis);
    for (double v : test.last()->spectrum.db) EXPECT_EQ(v, kNoPowerDb);
    // The figures stay finite through their floors.
    EXPECT_TRUE(std::isfinite(test.last()->stats.figures.snr));
}

TEST(FreqTest, CaptureFailureEndsTestWithItsStatus) {
    RecordingMessages messages;
    FftTest test;
    const auto x = sine(512, 50, 1e6);
    std::vector<double> buffer(512, 0.0);
    int calls = 0;
    int reported = 0;
    auto capture = [&] {
        if (++calls == 2) return -7;
        buffer = x;
        return 0;
    };
    FftObserver observer{{}, [&](const SpectrumResult&) { ++reported; }};
    EXPECT_EQ(test.freq_test(settings(512, 4, 5), capture, buffer, messages, observer), -7);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(reported, 1);
    EXPECT_EQ(test.outcome(), FftOutcome::kCaptureFailed);
    EXPECT_TRUE(messages.shown.empty());

    // Nothing is captured for average < 1.
    calls = 0;
    EXPECT_EQ(test.freq_test(settings(512, 4, 0), capture, buffer, messages), 0);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(test.outcome(), FftOutcome::kNothingToDo);
}

TEST(FreqTest, SameBlockGivesIdenticalFigures) {
    const auto x = sine(8192, 613, 5e6);
    RecordingMessages messages;
    FftTest a, b;
    a.freq_test(settings(8192, 3), x, messages);
    b.freq_test(settings(8192, 3), x, messages);
    a.freq_test(settings(8192, 3), x, messages);
    const auto& fa = a.last()->stats.figures;
    const auto& fb = b.last()->stats.figures;
    EXPECT_EQ(fa.sinad, fb.sinad);
    EXPECT_EQ(fa.snr, fb.snr);
    EXPECT_EQ(fa.spn, fb.spn);
    EXPECT_EQ(fa.sd, fb.sd);
    EXPECT_EQ(fa.fsPdB, fb.fsPdB);
}

}  // namespace
}  // namespace evkit::spectrum
