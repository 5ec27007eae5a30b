#include "collection/analysis.h"

#include <algorithm>
#include <cmath>

namespace evkit::collection {

MaxMinResult MaxMin1D(std::span<const double> x) {
    MaxMinResult r;
    if (x.empty()) return r;
    r.max = r.min = x[0];
    for (std::size_t i = 1; i < x.size(); ++i) {
        if (x[i] > r.max) {
            r.max = x[i];
            r.maxIndex = i;
        }
        if (x[i] < r.min) {
            r.min = x[i];
            r.minIndex = i;
        }
    }
    return r;
}

namespace {
// Mean and population variance, two passes for accuracy with large offsets.
VarianceResult meanAndVariance(std::span<const double> x) {
    VarianceResult r;
    if (x.empty()) return r;
    double sum = 0.0;
    for (double v : x) sum += v;
    r.mean = sum / static_cast<double>(x.size());
    double squares = 0.0;
    for (double v : x) squares += (v - r.mean) * (v - r.mean);
    r.variance = squares / static_cast<double>(x.size());
    return r;
}
}  // namespace

StdDevResult StdDev(std::span<const double> x) {
    const VarianceResult v = meanAndVariance(x);
    return {v.mean, std::sqrt(v.variance)};
}

VarianceResult Variance(std::span<const double> x) {
    return meanAndVariance(x);
}

int Histogram(std::span<const double> x, double base, double top, int intervals,
              std::span<std::int32_t> counts, std::span<double> axis) {
    if (intervals < 1 || !(top > base) || counts.size() < static_cast<std::size_t>(intervals) ||
        axis.size() < static_cast<std::size_t>(intervals))
        return -1;
    const double width = (top - base) / intervals;
    const auto n = static_cast<std::size_t>(intervals);
    std::fill_n(counts.begin(), n, 0);
    for (std::size_t i = 0; i < n; ++i) axis[i] = base + (static_cast<double>(i) + 0.5) * width;
    // Whole-number limits and codes (sample codes always are) are binned in integers, so
    // that bin i is exactly [base + i w, base + (i + 1) w): a code on an inner edge belongs
    // to the bin above it, which a floating-point division can miss by one.
    const auto whole = [](double v) { return std::fabs(v) < 0x1p52 && v == std::trunc(v); };
    const bool integral = whole(base) && whole(top) && top - base < 0x1p31;
    const auto span = static_cast<std::int64_t>(top - base);
    for (double v : x) {
        if (!(v >= base && v < top)) continue;
        std::size_t k = 0;
        if (integral && whole(v))
            k = static_cast<std::size_t>(static_cast<std::int64_t>(v - base) * intervals / span);
        else
            k = static_cast<std::size_t>((v - base) / width);
        if (k >= n) k = n - 1;  // rounding just below the top
        ++counts[k];
    }
    return 0;
}

TimeResult time_test(std::span<const double> block) {
    const MaxMinResult mm = MaxMin1D(block);
    TimeResult r;
    r.maximum = mm.max;
    r.minimum = mm.min;
    r.y_min = mm.min / 6.0 - 1.0;
    r.y_max = mm.max / 6.0 + 1.0;
    r.xAxisMin = 0.0;
    r.xAxisMax = static_cast<double>(block.size());
    r.yAxisMin = 6.0 * r.y_min - 1.0;
    r.yAxisMax = 6.0 * r.y_max + 1.0;
    return r;
}

HistResult hist_test(std::span<const double> block, int bin_width) {
    HistResult r;
    const MaxMinResult mm = MaxMin1D(block);
    const StdDevResult sd = StdDev(block);
    const VarianceResult var = Variance(block);
    r.maximum = mm.max;
    r.minimum = mm.min;
    r.mean = sd.mean;
    r.std_dev = sd.std_dev;
    r.variance = var.variance;
    if (block.empty() || bin_width < 1) return r;

    const double ratio = (mm.max - mm.min) / bin_width;
    if (!(ratio < kMaxHistogramBins)) return r;
    // The fraction is dropped, as the histogram file's integer division does.
    const int m = static_cast<int>(ratio) + 1;
    r.binned = true;
    r.bin_width = bin_width;
    r.hist_max = static_cast<int>(mm.max);
    r.hist_min = static_cast<int>(mm.min);
    r.counts.resize(static_cast<std::size_t>(m));
    r.axis.resize(static_cast<std::size_t>(m));
    // Top = max + 1 puts the largest code inside the last bin.
    Histogram(block, mm.min, mm.max + 1.0, m, r.counts, r.axis);
    for (double& a : r.axis) a -= 0.5;
    r.xAxisMin = mm.min - 5.0;
    r.xAxisMax = mm.max + 5.0;
    return r;
}

}  // namespace evkit::collection
