// Statistics, time-domain and histogram numbers.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "collection/analysis.h"

namespace evkit::collection {
namespace {

std::vector<double> ramp(double first, int n) {
    std::vector<double> v(static_cast<size_t>(n));
    std::iota(v.begin(), v.end(), first);
    return v;
}

TEST(Statistics, MaxMinMeanAndPopulationDeviation) {
    const std::vector<double> x = {2, 4, 4, 4, 5, 5, 7, 9};
    const auto mm = MaxMin1D(x);
    EXPECT_EQ(mm.max, 9);
    EXPECT_EQ(mm.maxIndex, 7u);
    EXPECT_EQ(mm.min, 2);
    EXPECT_EQ(mm.minIndex, 0u);
    // Divides by n: the classic example has a deviation of exactly 2.
    EXPECT_DOUBLE_EQ(StdDev(x).mean, 5.0);
    EXPECT_DOUBLE_EQ(StdDev(x).std_dev, 2.0);
    EXPECT_DOUBLE_EQ(Variance(x).variance, 4.0);
    // Large offsets do not lose the spread.
    std::vector<double> y;
    for (double v : x) y.push_back(v + 8e6);
    EXPECT_NEAR(StdDev(y).std_dev, 2.0, 1e-9);
    EXPECT_EQ(StdDev({}).std_dev, 0.0);
}

TEST(Statistics, HistogramCountsIntervalsAndRefusesBadArguments) {
    const std::vector<double> x = {0.0, 0.5, 1.0, 2.999, 3.0, -0.1};
    std::vector<std::int32_t> counts(3, -1);
    std::vector<double> axis(3);
    ASSERT_EQ(Histogram(x, 0.0, 3.0, 3, counts, axis), 0);
    EXPECT_EQ(counts, (std::vector<std::int32_t>{2, 1, 1}));  // 3.0 and -0.1 are outside
    EXPECT_EQ(axis, (std::vector<double>{0.5, 1.5, 2.5}));
    EXPECT_EQ(Histogram(x, 0.0, 3.0, 4, counts, axis), -1);  // outputs too short
    EXPECT_EQ(Histogram(x, 1.0, 1.0, 1, counts, axis), -1);
    EXPECT_EQ(Histogram(x, 0.0, 1.0, 0, counts, axis), -1);
}

// A code lying exactly on an inner bin edge base + i w belongs to bin i, for every span and
// bin count: each edge code of these tables is counted in the bin it opens.
TEST(Statistics, HistogramPutsEveryInnerEdgeCodeInTheBinAboveIt) {
    int edges = 0;
    for (double base : {0.0, -8388608.0, 1234567.0}) {
        for (std::int64_t span = 2; span <= 3000; span += 7) {
            for (int m : {3, 5, 6, 7, 10, 12, 49, 100}) {
                if (m > span) continue;
                for (int i = 1; i < m; ++i) {
                    if ((i * span) % m != 0) continue;
                    const double edge = base + static_cast<double>(i * span / m);
                    const std::vector<double> x = {edge};
                    std::vector<std::int32_t> counts(static_cast<size_t>(m));
                    std::vector<double> axis(static_cast<size_t>(m));
                    ASSERT_EQ(Histogram(x, base, base + static_cast<double>(span), m, counts, axis),
                              0);
                    ASSERT_EQ(counts[static_cast<size_t>(i)], 1)
                        << "base " << base << " span " << span << " bins " << m << " edge " << i;
                    ++edges;
                }
            }
        }
    }
    EXPECT_GT(edges, 1000);
}

TEST(TimeAnalysis, ExtremesAndAxisRanges) {
    const std::vector<double> zeros(16, 0.0);
    auto r = time_test(zeros);
    EXPECT_EQ(r.maximum, 0);
    EXPECT_EQ(r.minimum, 0);
    EXPECT_DOUBLE_EQ(r.yAxisMin, -7.0);
    EXPECT_DOUBLE_EQ(r.yAxisMax, 7.0);
    EXPECT_EQ(r.xAxisMax, 16.0);

    const std::vector<double> full(32, 8388607.0);
    r = time_test(full);
    EXPECT_DOUBLE_EQ(r.yAxisMin, 8388600.0);
    EXPECT_DOUBLE_EQ(r.yAxisMax, 8388614.0);
    EXPECT_DOUBLE_EQ(r.y_max, 8388607.0 / 6 + 1);
}

TEST(HistogramAnalysis, OneCodeBinsOfSixteenCodes) {
    const auto x = ramp(100, 16);
    const auto r = hist_test(x, 1);
    ASSERT_TRUE(r.binned);
    ASSERT_EQ(r.bins(), 16u);
    for (size_t i = 0; i < 16; ++i) {
        EXPECT_DOUBLE_EQ(r.axis[i], 100.0 + static_cast<double>(i));
        EXPECT_EQ(r.counts[i], 1);
    }
    EXPECT_EQ(r.xAxisMin, 95.0);
    EXPECT_EQ(r.xAxisMax, 120.0);
    EXPECT_EQ(r.hist_max, 115);
    EXPECT_EQ(r.hist_min, 100);
    EXPECT_DOUBLE_EQ(r.mean, 107.5);
    EXPECT_DOUBLE_EQ(r.variance, (16.0 * 16.0 - 1.0) / 12.0);  // population variance of a ramp
}

TEST(HistogramAnalysis, FractionOfTheRatioIsDropped) {
    auto r = hist_test(ramp(100, 16), 4);  // r = 3.75 -> 4 bins of 4 codes
    ASSERT_EQ(r.bins(), 4u);
    EXPECT_EQ(r.counts, (std::vector<std::int32_t>{4, 4, 4, 4}));
    EXPECT_DOUBLE_EQ(r.axis[0], 101.5);
    EXPECT_DOUBLE_EQ(r.axis[3], 113.5);

    const std::vector<double> span = {-500, 0, 250, 500};  // max - min = 1000
    r = hist_test(span, 256);                              // r = 3.90625 -> 4 bins of 250.25 codes
    ASSERT_EQ(r.bins(), 4u);
    EXPECT_DOUBLE_EQ(r.axis[0], -500 + 250.25 / 2 - 0.5);
    EXPECT_DOUBLE_EQ(r.axis[1] - r.axis[0], 250.25);
    EXPECT_EQ(r.counts, (std::vector<std::int32_t>{1, 1, 1, 1}));
}

TEST(HistogramAnalysis, ConstantBlockIsOneBin) {
    const std::vector<double> x(16, -42.0);
    const auto r = hist_test(x, 256);
    ASSERT_TRUE(r.binned);
    ASSERT_EQ(r.bins(), 1u);
    EXPECT_EQ(r.counts[0], 16);
    EXPECT_DOUBLE_EQ(r.axis[0], -42.0);
    EXPECT_EQ(r.std_dev, 0.0);
}

TEST(HistogramAnalysis, RefusesTooManyBinsAndBadWidthButKeepsStatistics) {
    const std::vector<double> full = {-8388608.0, 0.0, 8388607.0};
    auto r = hist_test(full, 1);
    EXPECT_FALSE(r.binned);
    EXPECT_EQ(r.bins(), 0u);
    EXPECT_EQ(r.maximum, 8388607.0);
    EXPECT_EQ(r.minimum, -8388608.0);
    // Exactly 70000 bins' worth is refused, one less is accepted.
    EXPECT_FALSE(hist_test(std::vector<double>{0.0, 70000.0}, 1).binned);
    EXPECT_EQ(hist_test(std::vector<double>{0.0, 69999.0}, 1).bins(), 70000u);
    // Widths below 1, also for a constant block (0 / 0).
    EXPECT_FALSE(hist_test(std::vector<double>{1.0, 5.0}, 0).binned);
    EXPECT_FALSE(hist_test(std::vector<double>{3.0, 3.0}, 0).binned);
    EXPECT_FALSE(hist_test(std::vector<double>{1.0, 5.0}, -4).binned);
    EXPECT_DOUBLE_EQ(hist_test(std::vector<double>{1.0, 5.0}, 0).mean, 3.0);
}

}  // namespace
}  // namespace evkit::collection
