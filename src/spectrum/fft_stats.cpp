#include "spectrum/fft_stats.h"

#include <algorithm>
#include <cmath>

namespace evkit::spectrum {

namespace {

constexpr double kSumFloor = 1e-12;    // starting value of every noise and distortion sum
constexpr double kPowerFloor = 1e-20;  // lowest power taken into a logarithm

double dB(double x) {
    return 10.0 * std::log10(x);
}

}  // namespace

FftStats calculate_fft_stats(SpectralState& state, std::span<const double> power) {
    FftStats st;
    const int n = static_cast<int>(power.size());
    const int h = n / 2;
    if (h < 4) return st;
    auto P = [&](int k) { return power[static_cast<std::size_t>(k)]; };
    auto sum = [&](int lo, int hi) {
        double s = 0.0;
        for (int k = lo; k <= hi; ++k) s += P(k);
        return s;
    };
    const int ndt = state.ndt;

    // 1. Fundamental and the side of its larger neighbour. The search keeps it inside
    // 1..H-1, so both neighbours exist.
    const int f = std::clamp(static_cast<int>(fundamental(state, power, false)), 1, h - 1);
    state.maxf = f;
    st.maxf = f;
    const int s = P(f + 1) > P(f - 1) ? 1 : 0;
    st.skew = s;

    // 2. Band of 2*ndt + 2 bins, shifted toward the larger neighbour.
    int lo_f = f - ndt - 1 + s;
    int hi_f = f + ndt + s;

    // 3. Lower edge against DC.
    int nl = 0;
    if (lo_f <= 0 || lo_f > f) {
        st.fundamentalTooLow = true;
        st.warning = true;
        lo_f = 1;
        nl = 1;
        state.dclim = 0;
    } else if (lo_f <= state.dclim) {
        nl = lo_f;
        state.dclim = lo_f - 1;
        st.warning = true;
    } else {
        nl = lo_f;
    }
    const int dclim = state.dclim;

    // 4. Upper edge against H: a band passing H is cut at H, so every sum stays in the
    // lower half (the figures are then marked as doubtful by the warning).
    if (hi_f > h) {
        st.fundamentalTooHigh = true;
        st.warning = true;
        hi_f = h;
    }
    const int fu = hi_f;

    // 5. Noise below the fundamental, and its largest spur (highest bin of equal ones).
    double noise = kSumFloor;
    int spurLo = 0;
    for (int k = nl - 1; k >= dclim + 1; --k) {
        noise += P(k);
        if (spurLo == 0 || P(k) > P(spurLo)) spurLo = k;
    }

    // 6. Fundamental power.
    double pf = sum(lo_f, hi_f);
    if (pf < kPowerFloor) pf = kPowerFloor;

    // 7. Noise above the fundamental, and its largest spur (lowest bin of equal ones).
    // With the band reaching H there is nothing above it.
    int spurHi = -1;
    for (int k = fu + 1; k <= h; ++k) {
        noise += P(k);
        if (spurHi < 0 || P(k) > P(spurHi)) spurHi = k;
    }

    // 8. Largest spur; the upper one on a tie.
    int spur = -1;
    if (spurLo == 0)
        spur = spurHi;
    else if (spurHi < 0)
        spur = spurLo;
    else
        spur = P(spurLo) > P(spurHi) ? spurLo : spurHi;
    st.spur = spur;

    // 9. Spur band, same width and skew as the fundamental band, kept out of the DC region,
    // the fundamental band and the upper half.
    double pspur = kPowerFloor;
    if (spur >= 0) {
        int lo_s = spur - ndt - 1 + s;
        int hi_s = spur + ndt + s;
        if (spur < f) {
            if (lo_s <= dclim) {
                lo_s = dclim + 1;
                st.warning = true;
            }
            if (hi_s >= nl) {
                hi_s = nl - 1;
                st.warning = true;
            }
        } else {
            if (lo_s <= fu) {
                lo_s = fu + 1;
                st.warning = true;
            }
            if (hi_s > h) {
                hi_s = h;
                st.warning = true;
            }
        }
        pspur = sum(lo_s, hi_s);
        if (pspur < kPowerFloor) pspur = kPowerFloor;
        st.lo_s = lo_s;
        st.hi_s = hi_s;
    }

    // 10. Fundamental below full scale.
    const double sig2fs = dB(state.maxy) - dB(pf);
    state.sig2fs = sig2fs;

    // 11. Noise and distortion, scaled up (whole-number factor) when more than about half
    // the bins were left out of the sums. The divisor is at least 1: nl > dclim, fu <= H.
    noise = noise * static_cast<double>((h + 1) / (h - dclim - fu + nl));
    if (noise < kPowerFloor) noise = kPowerFloor;

    // 12. Harmonic bands 2..5: the fundamental band moved up by h*f bins, folded at H.
    double d = kSumFloor;
    int harmonicBins = 0;
    for (int i = 1; i <= 4; ++i) {
        HarmonicBand& band = st.harmonics[static_cast<std::size_t>(i - 1)];
        band.harmonic = i + 1;
        const int a = (i * f + lo_f) % n;
        const int b = (i * f + hi_f) % n;
        int lo = 0;
        int hi = 0;
        if (a >= h) {
            hi = n - a;
            lo = b > h ? n - b : dclim;
        } else {
            lo = a;
            if (b >= h) {
                lo = std::min(a, n - b);
                hi = h;
            } else {
                hi = b;
            }
        }
        band.lo = lo;
        band.hi = hi;
        if (lo > hi || lo < dclim || (nl <= lo && lo <= fu) || (nl <= hi && hi <= fu)) {
            band.excluded = true;
            band.warned = true;
            st.warning = true;
            continue;
        }
        for (int j = 0; j < i - 1; ++j) {
            const HarmonicBand& earlier = st.harmonics[static_cast<std::size_t>(j)];
            if (earlier.excluded) continue;
            if ((earlier.lo <= lo && lo <= earlier.hi) || (earlier.lo <= hi && hi <= earlier.hi))
                band.excluded = true;
        }
        if (band.excluded) continue;
        // An odd block length lets a folded band end at H + 1, the mirror of H - 1.
        band.power = kSumFloor + sum(lo, std::min(hi, n - 1));
        harmonicBins += hi - lo + 1;
        d += band.power;
    }

    // 13-15. The ratios. The noise without harmonics is spread over the bins not taken by
    // harmonics; at least one bin is assumed so that the ratio stays finite.
    double noiseN = (noise - d) * n / 2.0 / std::max(1, h - harmonicBins);
    if (noiseN < kPowerFloor) noiseN = kPowerFloor;

    st.figures.sd = dB(pf) - dB(d);
    st.figures.snr = dB(pf) - dB(noiseN);
    st.figures.sinad = dB(pf) - dB(noise);
    st.figures.spn = dB(pf) - dB(pspur);
    st.figures.fsPdB = sig2fs;

    st.lo_f = lo_f;
    st.hi_f = hi_f;
    st.nl = nl;
    st.fu = fu;
    st.dclim = dclim;
    st.fundamentalPower = pf;
    st.spurPower = pspur;
    st.noise = noise;
    st.noiseNoHarmonics = noiseN;
    st.distortion = d;
    st.harmonicBins = harmonicBins;
    return st;
}

}  // namespace evkit::spectrum
