// The converter figures beside the five on blocks whose values are known in closed form:
// noise of known RMS, harmonics of chosen levels, an aliased harmonic, a larger
// non-harmonic spur, a clean tone without any spur.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "spectrum/converter_figures.h"
#include "spectrum/freq_test.h"
#include "spectrum/windows.h"
#include "support/messages.h"

namespace evkit::spectrum {
namespace {

constexpr int kRange = 8388608;

double amplitudeDbfs(double dbfs) {
    return kRange * std::pow(10.0, dbfs / 20.0);
}

void addTone(std::vector<double>& x, double cycles, double amplitude, double phase) {
    const int n = static_cast<int>(x.size());
    for (int i = 0; i < n; ++i)
        x[i] += amplitude * std::sin(2.0 * std::numbers::pi * cycles * i / n + phase);
}

SpectrumResult analyse(const std::vector<double>& x, int window, double fs = 4000.0) {
    FftTestSettings s;
    s.samples = static_cast<int>(x.size());
    s.window = window;
    s.fs = fs;
    s.range = kRange;
    RecordingMessages messages;
    FftTest test;
    EXPECT_EQ(test.freq_test(s, x, messages), 0);
    EXPECT_EQ(test.outcome(), FftOutcome::kAnalysed);
    return *test.last();
}

TEST(ConverterFigures, NoiseOfKnownRmsGivesTheoreticalSnrEnobAndDensity) {
    const int n = 16384;
    const double sigma = 600.0;
    // White noise of exactly this RMS: every sample is +sigma or -sigma at random.
    std::mt19937 rng(7);
    std::vector<double> noise(n);
    for (double& v : noise) v = (rng() & 1u) ? sigma : -sigma;
    const double fullScale = double(kRange) * kRange / 2.0;
    const double snrTheory = 10.0 * std::log10(fullScale / (sigma * sigma));
    const double enobTheory = (snrTheory - 1.76) / 6.02;
    for (int window : {4, 0}) {
        std::vector<double> x = noise;
        addTone(x, 1031, amplitudeDbfs(-0.5), 0.4);
        const SpectrumResult r = analyse(x, window);
        const ConverterFigures& c = r.more;
        EXPECT_NEAR(r.stats.figures.fsPdB, 0.5, 0.01) << window;
        EXPECT_NEAR(c.snrDbfs, snrTheory, 0.05) << window;
        EXPECT_NEAR(c.sinadDbfs, snrTheory, 0.05) << window;
        EXPECT_NEAR(c.enob, enobTheory, 0.01) << window;
        // The definitions tie them to the five.
        EXPECT_DOUBLE_EQ(c.snrDbfs, r.stats.figures.snr + r.stats.figures.fsPdB);
        EXPECT_DOUBLE_EQ(c.sinadDbfs, r.stats.figures.sinad + r.stats.figures.fsPdB);
        // Noise density: sigma^2 spread over 0..fs/2, against a full-scale sine.
        const double nsdTheory = 10.0 * std::log10(sigma * sigma / 2000.0 / fullScale);
        EXPECT_NEAR(c.nsdDbfsHz, nsdTheory, 0.05) << window;
    }
}

TEST(ConverterFigures, WindowNoiseBandwidths) {
    // Known values of the standard windows, and 1 without a window.
    EXPECT_NEAR(equivalentNoiseBandwidth(kWindowHanning, 4096), 1.5, 1e-9);
    EXPECT_NEAR(equivalentNoiseBandwidth(kWindowBlackman, 4096), 1.7268, 1e-4);
    EXPECT_NEAR(equivalentNoiseBandwidth(kWindowBlackmanHarris, 4096), 2.0044, 1e-3);
    EXPECT_DOUBLE_EQ(equivalentNoiseBandwidth(9, 4096), 1.0);
    EXPECT_GT(equivalentNoiseBandwidth(kWindowLumen, 4096), 2.0);
}

TEST(ConverterFigures, ThdOfChosenHarmonicLevelsAndTheHarmonicCount) {
    const int n = 16384;
    const int f = 301;
    std::vector<double> x(n, 0.0);
    const double a = amplitudeDbfs(-1.0);
    addTone(x, f, a, 0.2);
    double sum = 0.0;
    double sumTo5 = 0.0;
    for (int k = 2; k <= 9; ++k) {
        const double dbc = -60.0 - 3.0 * k;  // -66 .. -87 dBc
        addTone(x, k * f, a * std::pow(10.0, dbc / 20.0), 0.1 * k);
        sum += std::pow(10.0, dbc / 10.0);
        if (k <= 5) sumTo5 += std::pow(10.0, dbc / 10.0);
    }
    for (int window : {4, 0}) {
        const SpectrumResult r = analyse(x, window);
        EXPECT_NEAR(r.more.thdDbc, 10.0 * std::log10(sum), 0.05) << window;
        EXPECT_EQ(r.more.thdHarmonics, 9);
        EXPECT_EQ(r.more.bands.size(), 8u);
        EXPECT_EQ(r.more.note(), "");
        // The largest spur is the 2nd harmonic.
        EXPECT_NEAR(r.more.sfdrDbc, 66.0, 0.05) << window;
        EXPECT_NEAR(r.more.sfdrDbfs, 67.0, 0.05) << window;
        EXPECT_DOUBLE_EQ(r.more.spurHz, 4000.0 * 2 * f / n);
        EXPECT_DOUBLE_EQ(r.more.sfdrDbc, r.stats.figures.spn);
        // Harmonics 2..5 only.
        const ConverterFigures c5 = converterFigures(r.stats, r.state, r.power, r.fs, window, 5);
        EXPECT_NEAR(c5.thdDbc, 10.0 * std::log10(sumTo5), 0.05) << window;
        EXPECT_EQ(c5.bands.size(), 4u);
    }
}

TEST(ConverterFigures, HarmonicAboveNyquistIsMeasuredAtItsAlias) {
    const int n = 8192;
    const int f = 1500;  // 3rd harmonic at bin 4500 folds to 3692; 2nd at 3000 stays
    std::vector<double> x(n, 0.0);
    const double a = amplitudeDbfs(-1.0);
    addTone(x, f, a, 0.2);
    addTone(x, n - 3 * f, a * std::pow(10.0, -70.0 / 20.0), 0.5);  // what the 3rd aliases to
    const SpectrumResult r = analyse(x, 4);
    EXPECT_NEAR(r.more.thdDbc, -70.0, 0.05);
    const ThdBand& third = r.more.bands[1];
    EXPECT_EQ(third.harmonic, 3);
    EXPECT_EQ(third.bin, 3692);
    EXPECT_TRUE(third.aliased);
    EXPECT_LE(third.lo, 3692);
    EXPECT_GE(third.hi, 3692);
    EXPECT_FALSE(r.more.bands[0].aliased);
    // The 6th harmonic wraps past the sample rate: 9000 mod 8192 = 808.
    EXPECT_EQ(r.more.bands[4].bin, 808);
    EXPECT_TRUE(r.more.bands[4].aliased);
}

TEST(ConverterFigures, LargerNonHarmonicSpurNamesItsFrequency) {
    const int n = 16384;
    std::vector<double> x(n, 0.0);
    const double a = amplitudeDbfs(-1.0);
    addTone(x, 301, a, 0.2);
    addTone(x, 602, a * std::pow(10.0, -80.0 / 20.0), 0.3);   // 2nd harmonic
    addTone(x, 4321, a * std::pow(10.0, -72.0 / 20.0), 0.7);  // spur, no harmonic
    const SpectrumResult r = analyse(x, 4);
    EXPECT_NEAR(r.more.sfdrDbc, 72.0, 0.05);
    EXPECT_NEAR(r.more.sfdrDbfs, 73.0, 0.05);
    EXPECT_DOUBLE_EQ(r.more.spurHz, 4000.0 * 4321 / n);
    EXPECT_FALSE(r.more.noSpur);
    // The THD holds the harmonic only.
    EXPECT_NEAR(r.more.thdDbc, -80.0, 0.05);
}

TEST(ConverterFigures, HarmonicsOnTheFundamentalOrInTheDcRegionAreLeftOutAndNamed) {
    // At N/3 the 2nd harmonic mirrors onto the fundamental and the 3rd lands on DC.
    const int n = 3 * 2048;
    std::vector<double> x(n, 0.0);
    addTone(x, 2048, amplitudeDbfs(-1.0), 0.2);
    addTone(x, 1000, amplitudeDbfs(-90.0), 0.2);
    const SpectrumResult r = analyse(x, 4);
    EXPECT_EQ(r.more.bands[0].leftOut, "on the fundamental band");
    EXPECT_EQ(r.more.bands[1].leftOut, "in the DC region");
    EXPECT_EQ(r.more.bands[2].leftOut, "on the fundamental band");
    EXPECT_NE(r.more.note().find("harmonic 2 left out (on the fundamental band); harmonic 3 left "
                                 "out (in the DC region)"),
              std::string::npos);
    // Nothing counts: no distortion at all.
    EXPECT_TRUE(std::isinf(r.more.thdDbc) && r.more.thdDbc < 0);

    // At N/4 the 2nd harmonic sits at N/2 and the 6th folds onto it: counted once.
    std::vector<double> y(4096, 0.0);
    addTone(y, 1024, amplitudeDbfs(-1.0), 0.2);
    addTone(y, 2048, amplitudeDbfs(-71.0), std::numbers::pi / 2);
    addTone(y, 1500, amplitudeDbfs(-100.0), 0.2);
    const SpectrumResult q = analyse(y, 4);
    EXPECT_EQ(q.more.bands[0].bin, 2048);
    EXPECT_EQ(q.more.bands[0].leftOut, "");
    EXPECT_EQ(q.more.bands[4].bin, 2048);
    EXPECT_EQ(q.more.bands[4].leftOut, "on the band of harmonic 2");
    EXPECT_EQ(q.more.bands[2].leftOut, "in the DC region");  // the 4th at 0
    EXPECT_TRUE(std::isfinite(q.more.thdDbc));
}

TEST(ConverterFigures, NoSpurOutsideTheFundamentalBandIsSaidNotFloored) {
    // A tone whose band power is all there is: the five put the 1e-20 floor under the spur.
    std::vector<double> power(64, 0.0);
    power[20] = 4.0;
    power[19] = power[21] = 1.0;
    power[64 - 20] = 4.0;
    power[64 - 19] = power[64 - 21] = 1.0;
    SpectralState state;
    state.ndt = 2;
    state.sldc = 7;
    state.dclim = 9;
    state.maxy = 6.0;
    const FftStats stats = calculate_fft_stats(state, power);
    EXPECT_NEAR(stats.figures.spn, 10.0 * std::log10(6.0) + 200.0, 1e-9);
    const ConverterFigures c = converterFigures(stats, state, power, 4000.0, kWindowHanning);
    EXPECT_TRUE(c.noSpur);
    EXPECT_TRUE(std::isinf(c.sfdrDbc) && c.sfdrDbc > 0);
    EXPECT_TRUE(std::isinf(c.sfdrDbfs));

    // One bin of power outside the band is a spur.
    power[28] = 1e-6;
    const FftStats withSpur = calculate_fft_stats(state, power);
    const ConverterFigures d = converterFigures(withSpur, state, power, 4000.0, kWindowHanning);
    EXPECT_FALSE(d.noSpur);
    EXPECT_NEAR(d.sfdrDbc, 10.0 * std::log10(6.0 / 1e-6), 1e-9);
    EXPECT_DOUBLE_EQ(d.spurHz, 4000.0 * 28 / 64);
}

}  // namespace
}  // namespace evkit::spectrum
