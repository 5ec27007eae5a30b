#pragma once
// The converter figures beside the five figures of merit: SINAD and SNR referred to full
// scale, ENOB, THD over harmonics 2..H, SFDR with its spur and the noise spectral density.
// All come from the same averaged power spectrum, fundamental band and DC region as the
// five, so they agree with them where they overlap.
#include <span>
#include <string>
#include <vector>

#include "spectrum/analysis.h"
#include "spectrum/fft_stats.h"

namespace evkit::spectrum {

inline constexpr int kDefaultThdHarmonics = 9;
inline constexpr int kMaxThdHarmonics = 50;
inline constexpr const char* kNoSpur = "no spur outside the fundamental band";

// One harmonic band of the THD (bins lo..hi of 0..H, centred on the folded harmonic).
struct ThdBand {
    int harmonic = 0;  // 2..H
    int bin = 0;       // k * fundamental bin, folded into 0..N/2
    int lo = 0;
    int hi = 0;
    bool aliased = false;  // the harmonic lies above half the sample rate
    // Why the band was left out of the THD; empty when it counts.
    std::string leftOut;
    double power = 0.0;  // band power when it counts
};

struct ConverterFigures {
    double sinadDbfs = 0.0;                   // SINAD + FS-PdB
    double snrDbfs = 0.0;                     // SNR + FS-PdB
    double enob = 0.0;                        // (SINAD_dBFS - 1.76) / 6.02
    int thdHarmonics = kDefaultThdHarmonics;  // H: harmonics 2..H
    double thdDbc = 0.0;     // harmonics 2..H against the fundamental; -inf when none counts
    bool noSpur = false;     // nothing outside the fundamental band and DC region
    double sfdrDbc = 0.0;    // fundamental against the largest spur band; +inf when noSpur
    double sfdrDbfs = 0.0;   // full scale against that band; +inf when noSpur
    double spurHz = 0.0;     // frequency of the spur's largest bin (0 when noSpur)
    double nsdDbfsHz = 0.0;  // the noise of SNR per hertz, against full scale
    double enbwBins = 1.0;   // the window's equivalent noise bandwidth in bins
    std::vector<ThdBand> bands;

    // The bands left out, named in one line ("" when all count), e.g.
    // "harmonic 3 left out (on the fundamental band); harmonic 6 left out (in the DC region)".
    std::string note() const;
};

// A figure under the name the command line prints it with.
struct NamedFigure {
    const char* key;
    double value;
};
// SINAD_dBFS, SNR_dBFS, ENOB, THD_dBc, SFDR_dBc, SFDR_dBFS, SFDR_spur_Hz (left out when there
// is no spur) and NSD_dBFS_Hz, in that order.
std::vector<NamedFigure> namedFigures(const ConverterFigures& figures);

// The window's equivalent noise bandwidth in bins, N sum(w^2) / (sum w)^2 (1 without window).
double equivalentNoiseBandwidth(int window, int n);

// Figures of the power spectrum P[0..N-1] with the fundamental band, DC region and spur the
// five were computed with (`stats`, `state` as calculate_fft_stats left them), the sample
// rate fs, and harmonics 2..`harmonics` (clamped to 2..kMaxThdHarmonics) for the THD.
ConverterFigures converterFigures(const FftStats& stats, const SpectralState& state,
                                  std::span<const double> power, double fs, int window,
                                  int harmonics = kDefaultThdHarmonics);

}  // namespace evkit::spectrum
