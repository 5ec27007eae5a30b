#pragma once
// The steps of one spectral analysis: full-scale reference tone, windowed transform to a
// power spectrum, and the search for the fundamental.
#include <span>

namespace evkit::spectrum {

// Spectral values that live from one analysis to the next.
struct SpectralState {
    int ndt = 0;          // main-lobe half-width in bins of the last window applied
    int sldc = 0;         // further bins kept clear of DC above the main lobe
    int dclim = 0;        // highest bin of the DC region (lowered by the figures of merit)
    int maxf = 0;         // bin of the fundamental
    double maxy = 0.0;    // band power of the full-scale reference tone (0 dB)
    double sig2fs = 0.0;  // FS-PdB of the last figures
};

// Largest and smallest element with their indices; among equal values the lowest index
// wins. An empty array gives zeros and indices -1.
struct MaxMin {
    double max = 0.0;
    int imax = -1;
    double min = 0.0;
    int imin = -1;
};
MaxMin MaxMin1D(std::span<const double> x);

// Fills x with the full-scale reference: 16 periods of a sine of amplitude `range` over the
// block, truncated toward zero after subtracting 0.5. Blocks shorter than 16 samples get
// no tone (all zero).
void perfect_sinewave(std::span<double> x, int range);

// Windows x in place with the selected window (0..4; any other value applies none and keeps
// ndt and sldc), sets dclim = ndt + sldc, and fills power[0..N-1] with the power per bin.
void fft(SpectralState& state, int window, std::span<double> x, std::span<double> power);

// Bin of the fundamental (sumBand false) or, for the reference tone, the power of the band
// of 2*ndt + 1 bins around the largest bin (sumBand true). Only bins 0..H-1 are searched;
// a largest bin inside the DC region is passed over for the largest bin above it.
double fundamental(const SpectralState& state, std::span<const double> power, bool sumBand);

}  // namespace evkit::spectrum
