// Windows, transform, reference tone and the fundamental search.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "spectrum/analysis.h"
#include "spectrum/refft.h"
#include "spectrum/windows.h"

namespace evkit::spectrum {
namespace {

std::vector<double> ones(int n) {
    return std::vector<double>(static_cast<std::size_t>(n), 1.0);
}

TEST(Windows, CosineSumsInPeriodicForm) {
    const int n = 64;
    struct Case {
        void (*apply)(std::span<double>);
        double atZero;
        double atHalf;
    };
    // w[0] = sum of the coefficients with their signs, w[N/2] = alternating sum.
    const Case cases[] = {
        {BlkHrsWin, 0.35875 - 0.48829 + 0.14128 - 0.01168, 0.35875 + 0.48829 + 0.14128 + 0.01168},
        {HanWin, 0.0, 1.0},
        {BkmanWin, 0.0, 0.42 + 0.5 + 0.08},
        {TalonWin,
         0.67163459718823 - 0.98017116095934 + 0.36542092481817 - 0.059489208003165 +
             0.0026481652930186,
         2.0793},
        {LumenWin,
         0.6164032131405 - 0.98537119272586 + 0.49603771622007 - 0.14992232793243 +
             0.02458719103474 - 0.0017660465148687 + 3.1581188567106e-05,
         2.2741},
    };
    for (const auto& c : cases) {
        auto w = ones(n);
        c.apply(w);
        EXPECT_NEAR(w[0], c.atZero, 1e-9);
        EXPECT_NEAR(w[n / 2], c.atHalf, 1e-3);
        // Periodic: symmetric about N/2, not about (N-1)/2.
        for (int i = 1; i < n / 2; ++i) EXPECT_NEAR(w[i], w[n - i], 1e-12);
    }
    // The Hanning window at a quarter of the block: 0.5 - 0.5 cos(pi/2).
    auto w = ones(n);
    HanWin(w);
    EXPECT_NEAR(w[n / 4], 0.5, 1e-12);
}

TEST(Windows, OnlyZeroToFourSelectAWindow) {
    auto x = ones(40);
    EXPECT_FALSE(applyWindow(5, x));
    EXPECT_FALSE(applyWindow(-1, x));
    for (double v : x) EXPECT_EQ(v, 1.0);
    WindowLobe lobe;
    EXPECT_FALSE(windowLobe(5, &lobe));
    const int ndt[] = {3, 4, 2, 3, 6};
    for (int w = 0; w <= 4; ++w) {
        ASSERT_TRUE(windowLobe(w, &lobe));
        EXPECT_EQ(lobe.ndt, ndt[w]);
        EXPECT_EQ(lobe.sldc, 7);
    }
}

TEST(ReFFT, MatchesDirectTransformForEvenAndOddLengths) {
    for (int n : {48, 37, 1000}) {
        std::vector<double> x(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) x[i] = std::sin(0.3 * i) * 1000.0 + (i % 7) - 3.0 * (i % 3);
        std::vector<double> re = x, im(static_cast<std::size_t>(n));
        ReFFT(re, im);
        std::vector<double> power(static_cast<std::size_t>(n));
        realPowerSpectrum(x, power);
        for (int k = 0; k < n; ++k) {
            std::complex<double> sum = 0.0;
            for (int i = 0; i < n; ++i)
                sum += x[i] * std::polar(1.0, -2.0 * std::numbers::pi * k * i / n);
            EXPECT_NEAR(re[k], sum.real(), 1e-6 * n) << "n=" << n << " k=" << k;
            EXPECT_NEAR(im[k], sum.imag(), 1e-6 * n) << "n=" << n << " k=" << k;
            EXPECT_NEAR(power[k], std::norm(sum), 1e-9 * std::norm(sum) + 1e-3);
        }
    }
}

TEST(Reference, SixteenPeriodsTruncatedTowardZero) {
    std::vector<double> x(64);
    perfect_sinewave(x, 8388608);
    // p = 4: 0, +range, 0, -range per period, each truncated after subtracting 0.5.
    EXPECT_EQ(x[0], 0.0);  // trunc(-0.5)
    EXPECT_EQ(x[1], 8388607.0);
    EXPECT_EQ(x[3], -8388608.0);
    EXPECT_EQ(x[5], 8388607.0);

    // Period 2 for N = 33..47: every sample truncates to 0.
    std::vector<double> y(47);
    perfect_sinewave(y, 8388608);
    for (double v : y) EXPECT_EQ(v, 0.0);
}

TEST(Reference, SameCodesAsTheDirectFormula) {
    const double twoPi = 8.0 * std::atan(1.0);
    for (int n : {48, 1000, 4096, 65536}) {
        for (int range : {8388608, 32768, 1000}) {
            std::vector<double> x(static_cast<std::size_t>(n));
            perfect_sinewave(x, range);
            const int p = n / 16;
            for (int i = 0; i < n; ++i)
                ASSERT_EQ(x[i], std::trunc(range * std::sin(twoPi * i / p) - 0.5))
                    << "n=" << n << " range=" << range << " i=" << i;
        }
    }
}

TEST(Fundamental, LowestOfEqualMaximaAndDcRegionPassedOver) {
    EXPECT_EQ(MaxMin1D(std::vector<double>{1, 5, 2, 5, 0, 0}).imax, 1);
    EXPECT_EQ(MaxMin1D(std::vector<double>{1, 5, 2, 5, 0, 0}).imin, 4);

    SpectralState st;
    st.ndt = 3;
    st.dclim = 10;
    std::vector<double> p(128, 1.0);
    p[4] = 1000.0;  // DC region: not the fundamental
    p[30] = 50.0;
    p[40] = 50.0;
    EXPECT_EQ(fundamental(st, p, false), 30.0);
    p[4] = 1.0;
    p[11] = 20.0;
    EXPECT_EQ(fundamental(st, p, false), 30.0);
    p[11] = 60.0;  // just above the DC region counts
    EXPECT_EQ(fundamental(st, p, false), 11.0);
    // Band power around the largest bin: 2*ndt + 1 bins.
    EXPECT_DOUBLE_EQ(fundamental(st, p, true), 60.0 + 6.0);
    // The upper half is never searched.
    p[100] = 1e9;
    EXPECT_EQ(fundamental(st, p, false), 11.0);
}

TEST(Transform, WindowOutsideRangeKeepsPreviousLobe) {
    SpectralState st;
    std::vector<double> x(64, 1.0), p(64);
    fft(st, 9, x, p);
    EXPECT_EQ(st.ndt, 0);
    EXPECT_EQ(st.dclim, 0);
    EXPECT_DOUBLE_EQ(p[0], 64.0 * 64.0);  // unwindowed DC
    fft(st, 2, x, p);
    EXPECT_EQ(st.ndt, 2);
    EXPECT_EQ(st.dclim, 9);
    st.dclim = 3;  // lowered by the figures; the next transform restores it
    fft(st, 7, x, p);
    EXPECT_EQ(st.ndt, 2);
    EXPECT_EQ(st.dclim, 9);
}

}  // namespace
}  // namespace evkit::spectrum
