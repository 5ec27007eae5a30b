#pragma once
// Statistics and the numbers of the time-domain and histogram analyses. Pure functions over
// the block under analysis (sample_real, first `samples` elements); drawing is the caller's.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace evkit::collection {

// --- statistics -------------------------------------------------------------------------

struct MaxMinResult {
    double max = 0.0;
    std::size_t maxIndex = 0;  // first occurrence
    double min = 0.0;
    std::size_t minIndex = 0;  // first occurrence
};
// Largest and smallest value. An empty input gives all zeros.
MaxMinResult MaxMin1D(std::span<const double> x);

// Both deviation figures are population figures: the sum of squared deviations is divided
// by n, the number of elements (not n - 1). The block is the whole record under analysis,
// not a sample of a larger population. Variance == StdDev squared. Empty input: zeros.
struct StdDevResult {
    double mean = 0.0;
    double std_dev = 0.0;
};
StdDevResult StdDev(std::span<const double> x);

struct VarianceResult {
    double mean = 0.0;
    double variance = 0.0;
};
VarianceResult Variance(std::span<const double> x);

// Divides [base, top) into `intervals` equal intervals; counts[i] receives how many inputs
// fall into interval i and axis[i] its centre. Inputs outside [base, top) are not counted.
// Returns 0, or -1 (nothing written) when intervals < 1, top <= base or an output holds
// fewer than `intervals` elements.
int Histogram(std::span<const double> x, double base, double top, int intervals,
              std::span<std::int32_t> counts, std::span<double> axis);

// --- time-domain analysis ---------------------------------------------------------------

struct TimeResult {
    double maximum = 0.0;  // "MAXIMUM"
    double minimum = 0.0;  // "MINIMUM"
    double y_min = 0.0;    // minimum / 6 - 1
    double y_max = 0.0;    // maximum / 6 + 1
    // Fixed axis ranges of the time plot: x 0 .. samples, y minimum - 7 .. maximum + 7.
    double xAxisMin = 0.0;
    double xAxisMax = 0.0;
    double yAxisMin = 0.0;
    double yAxisMax = 0.0;
};
// Extremes and plot ranges of the block (`samples` = block.size()).
TimeResult time_test(std::span<const double> block);

// --- histogram analysis -----------------------------------------------------------------

inline constexpr double kMaxHistogramBins = 70000.0;

struct HistResult {
    // Statistics, always computed (also when the bins are refused).
    double mean = 0.0;
    double std_dev = 0.0;  // divides by n, see StdDev
    double variance = 0.0;
    double maximum = 0.0;
    double minimum = 0.0;

    // False when the bins were refused: bin width below 1, or (max - min) / bin_width of
    // 70000 or more. The caller then shows msg::kHistogramTooLarge, clears the plot and keeps
    // its previous successful result (that is what a histogram file is written from).
    bool binned = false;
    int bin_width = 0;  // the bin width these bins were made with
    int hist_max = 0;   // maximum and minimum with the fraction dropped
    int hist_min = 0;
    // One entry per bin (m = (max - min) / bin_width with the fraction dropped, plus one):
    // counts, and axis values = bin centre - 0.5 (with one-code bins, the code counted).
    std::vector<std::int32_t> counts;
    std::vector<double> axis;
    // Axis range of the bar plot: x minimum - 5 .. maximum + 5 (y scales automatically).
    double xAxisMin = 0.0;
    double xAxisMax = 0.0;

    std::size_t bins() const { return counts.size(); }
};
HistResult hist_test(std::span<const double> block, int bin_width);

namespace msg {
inline constexpr const char* kHistogramTooLarge =
    "Distribution too large to plot, Try a larger bin width, no AC on inputs";
}

}  // namespace evkit::collection
