#include "spectrum/analysis.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "spectrum/refft.h"
#include "spectrum/windows.h"

namespace evkit::spectrum {

MaxMin MaxMin1D(std::span<const double> x) {
    MaxMin r;
    if (x.empty()) return r;
    r.max = r.min = x[0];
    r.imax = r.imin = 0;
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (x[i] > r.max) {
            r.max = x[i];
            r.imax = static_cast<int>(i);
        }
        if (x[i] < r.min) {
            r.min = x[i];
            r.imin = static_cast<int>(i);
        }
    }
    return r;
}

void perfect_sinewave(std::span<double> x, int range) {
    const int n = static_cast<int>(x.size());
    const int p = n / 16;
    if (p == 0) {
        std::fill(x.begin(), x.end(), 0.0);
        return;
    }
    const double twoPi = 8.0 * std::atan(1.0);
    // The tone repeats every p samples, so one period of sines serves the whole block.
    // sin(2 pi i / p) for a large i differs from the period's value by rounding only
    // (well below 1e-3 of a code), which can change the truncated code only when the value
    // lies next to a whole number: those few samples are computed directly.
    std::vector<double> period(static_cast<std::size_t>(p));
    for (int i = 0; i < p; ++i) period[static_cast<std::size_t>(i)] = std::sin(twoPi * i / p);
    for (int i = 0; i < n; ++i) {
        double v = range * period[static_cast<std::size_t>(i % p)] - 0.5;
        const double frac = v - std::floor(v);
        if (i >= p && (frac < 1e-3 || frac > 1.0 - 1e-3)) v = range * std::sin(twoPi * i / p) - 0.5;
        x[static_cast<std::size_t>(i)] = std::trunc(v);
    }
}

void fft(SpectralState& state, int window, std::span<double> x, std::span<double> power) {
    WindowLobe lobe;
    if (windowLobe(window, &lobe)) {
        applyWindow(window, x);
        state.ndt = lobe.ndt;
        state.sldc = lobe.sldc;
    }
    state.dclim = state.ndt + state.sldc;
    realPowerSpectrum(x, power);
}

double fundamental(const SpectralState& state, std::span<const double> power, bool sumBand) {
    const int n = static_cast<int>(power.size());
    const int h = n / 2;
    if (h <= 0) return 0.0;
    // The largest of bins 0..H-1, the lowest of equal ones (as MaxMin1D finds it).
    const auto lower = power.first(static_cast<std::size_t>(h));
    const int imax = static_cast<int>(std::max_element(lower.begin(), lower.end()) - lower.begin());
    if (sumBand) {
        // The band is kept inside the block: a silent reference puts its "peak" at bin 0.
        const int lo = std::max(0, imax - state.ndt);
        const int hi = std::min(n - 1, imax + state.ndt);
        double sum = 0.0;
        for (int k = lo; k <= hi; ++k) sum += power[static_cast<std::size_t>(k)];
        return sum;
    }
    if (imax > state.dclim) return imax;
    int c = state.dclim + 1;
    if (c >= h) return imax;  // no bins above the DC region to choose from
    for (int k = state.dclim + 1; k < h; ++k)
        if (power[static_cast<std::size_t>(k)] > power[static_cast<std::size_t>(c)]) c = k;
    return c;
}

}  // namespace evkit::spectrum
