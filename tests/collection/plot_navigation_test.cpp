// Zoom rectangle, overlay limits, wheel zoom and cursor snap arithmetic of the data window.
#include <gtest/gtest.h>

#include <vector>

#include "collection/plot_navigation.h"

using namespace evkit::collection;

TEST(ZoomRectangle, CornersInAnyOrderGiveTheSameRectangle) {
    const AxisRanges expected{10.0, 200.0, -50.0, 75.5};
    EXPECT_EQ(zoomRectangle(10.0, -50.0, 200.0, 75.5), expected);
    EXPECT_EQ(zoomRectangle(200.0, 75.5, 10.0, -50.0), expected);  // right-to-left, top-down
    EXPECT_EQ(zoomRectangle(10.0, 75.5, 200.0, -50.0), expected);
    EXPECT_EQ(zoomRectangle(200.0, -50.0, 10.0, 75.5), expected);
}

TEST(ZoomRectangle, EqualXOrYIsRefused) {
    EXPECT_FALSE(zoomRectangle(5.0, 5.0, 5.0, 5.0));  // the same point twice
    EXPECT_FALSE(zoomRectangle(5.0, 1.0, 5.0, 9.0));  // no width
    EXPECT_FALSE(zoomRectangle(1.0, 5.0, 9.0, 5.0));  // no height
    EXPECT_TRUE(zoomRectangle(1.0, 5.0, 9.0, 5.0001));
}

TEST(OverlayView, LimitsAreWholeSixesWidenedByOneCode) {
    // Codes between -100 and 50 over both channels: lo = -17, hi = 9 (fractions dropped
    // toward zero), y axis -103 .. 55.
    std::vector<std::int32_t> raw = {0, -100, 50, 3, 7, -20, 12, 49};
    const OverlayView v = overlayView(raw, 4, 2);
    EXPECT_EQ(v.minimum, -100.0);
    EXPECT_EQ(v.maximum, 50.0);
    EXPECT_EQ(v.lo, -17);
    EXPECT_EQ(v.hi, 9);
    EXPECT_EQ(v.axes, (AxisRanges{0.0, 4.0, -103.0, 55.0}));
}

TEST(OverlayView, OnlyTheCapturedValuesCountAndZerosGiveMinusSevenToSeven) {
    std::vector<std::int32_t> raw(40, 0);
    raw[10] = 1000000;  // beyond samples x channels: stale data from an earlier capture
    const OverlayView v = overlayView(raw, 4, 2);
    EXPECT_EQ(v.maximum, 0.0);
    // lo = trunc(-1) = -1, hi = trunc(1) = 1.
    EXPECT_EQ(v.axes, (AxisRanges{0.0, 4.0, -7.0, 7.0}));
    // Positive extremes truncate toward zero too: 5 / 6 + 1 = 1.83 -> 1; -5 / 6 - 1 -> -1.
    raw = {5, -5};
    EXPECT_EQ(overlayView(raw, 1, 2).axes, (AxisRanges{0.0, 1.0, -7.0, 7.0}));
    // A count larger than the stream is limited to the stream.
    EXPECT_EQ(overlayView(raw, 100, 2).maximum, 5.0);
}

TEST(WheelZoom, AnchorKeepsItsPlaceAndStepsAreInverse) {
    const Span1D r{0.0, 100.0};
    const Span1D in = scaleAbout(r, 25.0, wheelZoomFactor(120));
    EXPECT_NEAR(in.lo, 25.0 - 25.0 * 0.85, 1e-12);
    EXPECT_NEAR(in.hi, 25.0 + 75.0 * 0.85, 1e-12);
    const Span1D back = scaleAbout(in, 25.0, wheelZoomFactor(-120));
    EXPECT_NEAR(back.lo, 0.0, 1e-9);
    EXPECT_NEAR(back.hi, 100.0, 1e-9);
    EXPECT_DOUBLE_EQ(wheelZoomFactor(0), 1.0);
}

TEST(NearestKey, PicksTheClosestAndTheLowerOnATie) {
    const std::vector<double> keys = {0.0, 1.0, 2.0, 4.0};
    EXPECT_EQ(nearestKey(keys, -3.0), 0u);
    EXPECT_EQ(nearestKey(keys, 0.4), 0u);
    EXPECT_EQ(nearestKey(keys, 0.5), 0u);
    EXPECT_EQ(nearestKey(keys, 0.6), 1u);
    EXPECT_EQ(nearestKey(keys, 3.1), 3u);
    EXPECT_EQ(nearestKey(keys, 99.0), 3u);
    EXPECT_FALSE(nearestKey({}, 1.0));
}

TEST(ReadoutFormat, LabelsAndPrecisionPerAnalysis) {
    ASSERT_TRUE(readoutFormat(0));
    EXPECT_STREQ(readoutFormat(0)->xLabel, "COUNT");
    EXPECT_EQ(readoutFormat(0)->precision, 0);
    EXPECT_STREQ(readoutFormat(1)->xLabel, "FREQUENCY");
    EXPECT_STREQ(readoutFormat(1)->yLabel, "MAGNITUDE");
    EXPECT_EQ(readoutFormat(1)->precision, 3);
    EXPECT_STREQ(readoutFormat(2)->xLabel, "BIN");
    EXPECT_EQ(readoutFormat(2)->precision, 0);
    EXPECT_FALSE(readoutFormat(3));
}
