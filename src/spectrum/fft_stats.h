#pragma once
// Figures of merit of a power spectrum: the fundamental band, the DC region, the 2nd to 5th
// harmonic bands and the rest, reduced to five ratios in dB.
#include <array>
#include <span>

#include "spectrum/analysis.h"

namespace evkit::spectrum {

inline constexpr const char* kFundamentalTooLow = "Fundamental too low";
inline constexpr const char* kFundamentalTooHigh = "Fundamental too high";

struct FftFigures {
    double spn = 0.0;    // "S/PN": signal to largest spur
    double sinad = 0.0;  // "SINAD": signal to noise and distortion
    double sd = 0.0;     // "S/D": signal to harmonic distortion
    double snr = 0.0;    // "SNR": signal to noise without harmonics
    double fsPdB = 0.0;  // "FS-PdB": fundamental below full scale
};

// One of the harmonic bands 2..5 (bins lo..hi of the lower half, after folding).
struct HarmonicBand {
    int harmonic = 0;  // 2..5
    int lo = 0;
    int hi = 0;
    bool excluded = false;  // not added to the distortion
    bool warned = false;    // excluded for lying on the fundamental, below DC, or reversed
    double power = 0.0;     // band power when included
};

// Everything the figures were derived from, for display and checking.
struct FftStats {
    FftFigures figures;
    bool warning = false;  // a band had to be cut or a message was raised
    bool fundamentalTooLow = false;
    bool fundamentalTooHigh = false;

    int maxf = 0;  // bin of the fundamental
    int skew = 0;  // 1 when the larger neighbour of the peak is on its right
    int lo_f = 0;  // fundamental band lo_f..hi_f
    int hi_f = 0;
    int nl = 0;     // first bin of the fundamental band the noise sums stop at
    int fu = 0;     // last bin of the fundamental band (at most H)
    int dclim = 0;  // DC region as left by the figures
    int spur = -1;  // bin of the largest spur, -1 when there is no bin to search
    int lo_s = 0;   // spur band lo_s..hi_s
    int hi_s = -1;
    double fundamentalPower = 0.0;
    double spurPower = 0.0;
    double noise = 0.0;             // noise and distortion, as used for SINAD
    double noiseNoHarmonics = 0.0;  // as used for SNR
    double distortion = 0.0;        // D, the included harmonic bands
    int harmonicBins = 0;
    std::array<HarmonicBand, 4> harmonics{};
};

// Computes the figures of the power spectrum P[0..N-1] (N = power.size()) with the ndt,
// dclim and maxy of `state`. Writes state.maxf, state.sig2fs, and state.dclim when the
// fundamental band reaches into the DC region. Shows no message itself: the flags
// fundamentalTooLow / fundamentalTooHigh say which to show. N must be at least 8.
FftStats calculate_fft_stats(SpectralState& state, std::span<const double> power);

}  // namespace evkit::spectrum
