// Figures of merit on constructed power spectra: band edges, DC region, spurs, harmonics.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "spectrum/fft_stats.h"

namespace evkit::spectrum {
namespace {

double dB(double x) {
    return 10.0 * std::log10(x);
}

// A power spectrum of length n with a flat floor, and a state as the transform leaves it.
struct Constructed {
    Constructed(int n, int ndt, double floor = 1e-6) : p(static_cast<std::size_t>(n), floor) {
        st.ndt = ndt;
        st.sldc = 7;
        st.dclim = ndt + 7;
        st.maxy = 1.0;
    }
    // A peak at bin f with equal neighbours (no skew) unless told otherwise.
    void tone(int f, double peak, double left = 0.5, double right = 0.5) {
        p[f] = peak;
        p[f - 1] = left * peak;
        p[f + 1] = right * peak;
    }
    FftStats run() { return calculate_fft_stats(st, p); }
    std::vector<double> p;
    SpectralState st;
};

TEST(FftStats, BandSkewsTowardLargerNeighbour) {
    Constructed right(256, 3);
    right.tone(60, 1.0, 0.2, 0.4);
    auto s = right.run();
    EXPECT_EQ(s.maxf, 60);
    EXPECT_EQ(s.skew, 1);
    EXPECT_EQ(s.lo_f, 57);
    EXPECT_EQ(s.hi_f, 64);

    Constructed left(256, 3);
    left.tone(60, 1.0, 0.4, 0.2);
    left.p[100] = 1e-4;  // a spur clear of the band, so no band is cut
    s = left.run();
    EXPECT_EQ(s.skew, 0);
    EXPECT_EQ(s.lo_f, 56);
    EXPECT_EQ(s.hi_f, 63);
    // Equal neighbours count as "left": no skew.
    Constructed even(256, 3);
    even.tone(60, 1.0);
    EXPECT_EQ(even.run().skew, 0);
    EXPECT_FALSE(s.warning);
    EXPECT_NEAR(s.fundamentalPower, 1.0 + 0.4 + 0.2 + 5 * 1e-6, 1e-12);
    EXPECT_EQ(s.spur, 100);
    EXPECT_EQ(left.st.maxf, 60);
}

TEST(FftStats, FundamentalBandReachingDcRegionLowersIt) {
    Constructed c(256, 3);  // dclim 10
    c.tone(12, 1.0);
    for (int k = 0; k <= 7; ++k) c.p[k] = 0.5;  // strong DC: never searched for spurs
    c.p[90] = 1e-3;
    auto s = c.run();
    EXPECT_EQ(s.lo_f, 8);
    EXPECT_EQ(s.nl, 8);
    EXPECT_EQ(s.dclim, 7);
    EXPECT_EQ(c.st.dclim, 7);
    EXPECT_TRUE(s.warning);
    EXPECT_FALSE(s.fundamentalTooLow);
    // Nothing lies between the DC region and the band: the spur is searched above only.
    EXPECT_EQ(s.spur, 90);
}

TEST(FftStats, FundamentalTooLowAndTooHigh) {
    Constructed low(256, 3);
    low.st.dclim = 1;  // as if lowered earlier
    low.tone(3, 1.0);
    auto s = low.run();
    EXPECT_TRUE(s.fundamentalTooLow);
    EXPECT_TRUE(s.warning);
    EXPECT_EQ(s.lo_f, 1);
    EXPECT_EQ(s.nl, 1);
    EXPECT_EQ(s.dclim, 0);

    // A band passing H is cut at H; the figures stay finite and the warning is set.
    Constructed high(256, 6);
    high.tone(125, 1.0);
    s = high.run();
    EXPECT_TRUE(s.fundamentalTooHigh);
    EXPECT_TRUE(s.warning);
    EXPECT_EQ(s.hi_f, 128);
    EXPECT_EQ(s.fu, 128);
    for (double v : {s.figures.sinad, s.figures.snr, s.figures.sd, s.figures.spn})
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_LT(s.spur, s.lo_f);  // nothing above the band to search
}

TEST(FftStats, SpurTiesAndSpurBandEdges) {
    Constructed c(256, 3);
    c.tone(60, 1.0);
    // Equal spurs below: the highest wins; equal spurs above: the lowest wins;
    // a tie between below and above: the one above wins.
    c.p[20] = 1e-3;
    c.p[30] = 1e-3;
    c.p[100] = 1e-3;
    c.p[110] = 1e-3;
    auto s = c.run();
    EXPECT_EQ(s.spur, 100);
    EXPECT_FALSE(s.warning);
    EXPECT_NEAR(s.spurPower, 1e-3 + 7 * 1e-6, 1e-12);
    EXPECT_NEAR(s.figures.spn, dB(s.fundamentalPower) - dB(s.spurPower), 1e-9);

    c.p[30] = 2e-3;
    s = c.run();
    EXPECT_EQ(s.spur, 30);
    c.p[20] = 2e-3;
    EXPECT_EQ(c.run().spur, 30);

    // A spur next to the fundamental band: its band is cut at the band and flagged.
    Constructed near(256, 3);
    near.tone(60, 1.0);
    near.p[65] = 1e-2;
    s = near.run();
    EXPECT_EQ(s.spur, 65);
    EXPECT_EQ(s.lo_s, s.fu + 1);
    EXPECT_TRUE(s.warning);
}

TEST(FftStats, HarmonicsFoldedStraddlingAndOnTheFundamental) {
    // N = 256, f = 64: the 2nd harmonic sits at H, the 3rd and 5th fold onto the
    // fundamental, the 4th onto DC.
    Constructed c(256, 3);
    c.tone(64, 1.0);
    c.p[128] = 1e-2;
    auto s = c.run();
    const auto& h2 = s.harmonics[0];
    EXPECT_EQ(h2.lo, 124);  // straddles H: from the lower of its two edges up to H
    EXPECT_EQ(h2.hi, 128);
    EXPECT_FALSE(h2.excluded);
    EXPECT_TRUE(s.harmonics[1].excluded && s.harmonics[1].warned);  // onto the fundamental
    EXPECT_EQ(s.harmonics[1].lo, 61);
    EXPECT_EQ(s.harmonics[1].hi, 68);
    EXPECT_TRUE(s.harmonics[2].excluded && s.harmonics[2].warned);  // below the DC region
    EXPECT_TRUE(s.harmonics[3].excluded && s.harmonics[3].warned);
    EXPECT_TRUE(s.warning);
    EXPECT_EQ(s.harmonicBins, 5);
    EXPECT_NEAR(s.distortion, 1e-12 + 1e-12 + 1e-2 + 4 * 1e-6, 1e-12);

    // N = 260, f = 50: the 3rd harmonic (150) folds to 110 and is measured there.
    Constructed f(260, 3);
    f.tone(50, 1.0);
    f.p[110] = 1e-3;
    s = f.run();
    EXPECT_EQ(s.harmonics[1].lo, 107);
    EXPECT_EQ(s.harmonics[1].hi, 114);
    EXPECT_FALSE(s.harmonics[1].excluded);
    EXPECT_NEAR(s.harmonics[1].power, 1e-12 + 1e-3 + 7 * 1e-6, 1e-12);
    EXPECT_NEAR(s.figures.sd, dB(s.fundamentalPower) - dB(s.distortion), 1e-9);
}

TEST(FftStats, HarmonicOnEarlierHarmonicExcludedWithoutWarning) {
    // N = 7 f: the 4th harmonic folds onto the 3rd, the 5th onto the 2nd.
    Constructed c(280, 3);
    c.tone(40, 1.0);
    c.p[80] = 1e-3;
    c.p[120] = 1e-3;
    auto s = c.run();
    EXPECT_FALSE(s.harmonics[0].excluded);
    EXPECT_FALSE(s.harmonics[1].excluded);
    EXPECT_TRUE(s.harmonics[2].excluded);
    EXPECT_FALSE(s.harmonics[2].warned);
    EXPECT_TRUE(s.harmonics[3].excluded);
    EXPECT_FALSE(s.harmonics[3].warned);
    EXPECT_FALSE(s.warning);
    EXPECT_EQ(s.harmonicBins, 16);
}

TEST(FftStats, CleanSpectrumGivesLargeFiniteFigures) {
    Constructed c(1024, 3, 0.0);
    c.tone(100, 1.0);
    auto s = c.run();
    EXPECT_DOUBLE_EQ(s.noise, 1e-12);
    EXPECT_NEAR(s.figures.sinad, dB(s.fundamentalPower) + 120.0, 1e-9);
    EXPECT_NEAR(s.figures.snr, dB(s.fundamentalPower) + 200.0, 1e-9);  // floored at 1e-20
    EXPECT_NEAR(s.figures.spn, dB(s.fundamentalPower) + 200.0, 1e-9);
    EXPECT_TRUE(std::isfinite(s.figures.sd));
    EXPECT_NEAR(s.figures.fsPdB, -dB(2.0), 1e-9);  // maxy 1.0, Pf 2.0
    EXPECT_EQ(c.st.sig2fs, s.figures.fsPdB);
}

TEST(FftStats, NoiseScaledByWholeNumberFactorWhenBandsTakeMostBins) {
    // N = 64, ndt 6: H = 32, band 17..30, dclim 13: (33) div (32 - 13 - 30 + 17) = 5.
    Constructed c(64, 6, 0.0);
    c.tone(24, 1.0);
    c.p[15] = 1e-4;
    c.p[31] = 2e-4;
    auto s = c.run();
    EXPECT_EQ(s.nl, 17);
    EXPECT_EQ(s.fu, 30);
    EXPECT_NEAR(s.noise, 5 * (1e-12 + 3e-4), 1e-15);

    // The same noise in a long block is not scaled.
    Constructed l(1024, 6, 0.0);
    l.tone(200, 1.0);
    l.p[150] = 1e-4;
    l.p[300] = 2e-4;
    EXPECT_NEAR(l.run().noise, 1e-12 + 3e-4, 1e-15);
}

TEST(FftStats, SnrSpreadsNoiseOverBinsNotTakenByHarmonics) {
    Constructed c(1024, 3, 1e-6);
    c.tone(100, 1.0);
    auto s = c.run();
    const int h = 512;
    EXPECT_EQ(s.harmonicBins, 32);
    const double expected = (s.noise - s.distortion) * 1024 / 2.0 / (h - 32);
    EXPECT_NEAR(s.noiseNoHarmonics, expected, 1e-15);
    EXPECT_NEAR(s.figures.snr, dB(s.fundamentalPower) - dB(expected), 1e-9);
    EXPECT_NEAR(s.figures.sinad, dB(s.fundamentalPower) - dB(s.noise), 1e-9);
}

}  // namespace
}  // namespace evkit::spectrum
