#pragma once
// The numbers behind the spectrum plot: dB values relative to the full-scale reference, the
// frequency axis, the axis scaling and the positions of labels and bin markers.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "spectrum/analysis.h"

namespace evkit::spectrum {

inline constexpr const char* kPlottingError = "Plotting Error";

// dB value given to a bin without power (it cannot be shown in dB): far below any level
// the figures can reach, so files and plots stay numeric.
inline constexpr double kNoPowerDb = -400.0;

// Bins 0..H of a power spectrum in dB relative to maxy, with their frequencies.
struct DbSpectrum {
    std::vector<double> db;
    std::vector<double> freq;
    int failedBin = -1;  // first bin whose power is not positive; -1 when all are
    bool ok() const { return failedBin < 0; }
    // The block length and sample rate (its bits) `freq` holds the axis of: a spectrum
    // refilled for the same ones keeps it.
    std::size_t freqN = 0;
    std::uint64_t freqFsBits = 0;
};

// dB = 10 log10(P[k] / maxy) and frequency fs * (k / N) for k = 0..H (N = power.size()).
// Bins without power read kNoPowerDb and are reported through failedBin; the spectrum
// then cannot be plotted.
DbSpectrum toDecibels(std::span<const double> power, double maxy, double fs);
// The same into `out`, reusing its storage.
void toDecibels(std::span<const double> power, double maxy, double fs, DbSpectrum& out);

// Axis scaling of a plot: X 0 .. fs/2, Y bottom .. 0 in steps of 20 dB.
struct AxisScale {
    double xMin = 0.0;
    double xMax = 0.0;
    double yMin = 0.0;
    double yMax = 0.0;
    int yDivisions = 1;
};
// bottom = -20 (d + 1) with d = trunc(-lowest / 20), one division per 20 dB. A spectrum
// lying wholly above 0 dB still gets one division.
AxisScale axisScale(std::span<const double> db, double fs);

// Bins of the harmonics 2..5 of the fundamental, folded at half the sample rate.
std::array<int, 4> harmonicLabelBins(int maxf, int n);

struct PlotLabel {
    std::string text;  // "F", "2".."5"
    int bin = 0;
    double x = 0.0;
    double y = 0.0;
};

inline constexpr std::uint32_t kHarmonicMarkerColour = 0x000000;
inline constexpr std::uint32_t kFundamentalMarkerColour = 0xFF0000;

// A vertical line at the frequency of a bin, drawn from y0 to y1.
struct PlotMarker {
    int bin = 0;
    double x = 0.0;
    double y0 = 0.0;
    double y1 = 0.0;
    std::uint32_t colour = 0;
};

struct Annotation {
    std::vector<PlotLabel> labels;    // "F" first, then "2".."5"
    std::vector<PlotMarker> markers;  // harmonic bins first, then the fundamental's
    double cursorX = 0.0;             // cursor at the fundamental
    double cursorY = 0.0;
};

// Labels, markers and cursor of a spectrum whose fundamental is state.maxf; markers run
// from the axis bottom up to the spectrum and only at bins dclim < j <= H.
Annotation annotate(const DbSpectrum& spectrum, const SpectralState& state, int n, double bottom);

}  // namespace evkit::spectrum
