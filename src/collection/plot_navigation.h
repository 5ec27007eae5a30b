#pragma once
// The numbers behind the data window's plot navigation: the zoom rectangle from two picked
// corners, the overlay of both channels, wheel zoom and drag pan, the snap of the graph
// cursor to the nearest point, and the cursor readouts' labels and precision per analysis.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace evkit::collection {

namespace msg {
// Shown (empty title) when the two picked corners share an x or a y value.
inline constexpr const char* kDeltasNonZero = "Deltas must be non-zero...";
}  // namespace msg

struct AxisRanges {
    double xMin = 0.0;
    double xMax = 0.0;
    double yMin = 0.0;
    double yMax = 0.0;
    bool operator==(const AxisRanges&) const = default;
};

// The rectangle spanned by two picked corners, ordered so that min < max on both axes
// whatever order the corners were picked in. nullopt when x1 == x2 or y1 == y2 (the caller
// shows msg::kDeltasNonZero and leaves the view as it is).
std::optional<AxisRanges> zoomRectangle(double x1, double y1, double x2, double y2);

// Both channels of the last capture in one view: extremes over the first samples x channels
// values of the interleaved stream, and axes x 0 .. samples, y 6 lo - 1 .. 6 hi + 1 with
// lo = min / 6 - 1 and hi = max / 6 + 1 truncated toward zero (whole multiples of six codes,
// widened by one code).
struct OverlayView {
    double maximum = 0.0;
    double minimum = 0.0;
    long long lo = 0;
    long long hi = 0;
    AxisRanges axes;
};
OverlayView overlayView(std::span<const std::int32_t> raw, int samples, int channels);

// One axis range scaled by `factor` (< 1 zooms in) about `anchor`, which keeps its place.
struct Span1D {
    double lo = 0.0;
    double hi = 0.0;
};
Span1D scaleAbout(Span1D range, double anchor, double factor);
// The factor of one wheel step of `angleDelta` eighths of a degree (120 = one notch):
// 0.85 per notch away from the user (zoom in), its inverse toward the user.
double wheelZoomFactor(int angleDelta);

// Index of the point whose key is nearest to x in keys sorted ascending (the lower index on
// a tie); nullopt for no keys.
std::optional<std::size_t> nearestKey(std::span<const double> keys, double x);

// Labels and digits after the decimal point of the two cursor readouts for an analysis.
struct ReadoutFormat {
    const char* xLabel;
    const char* yLabel;
    int precision;
};
// 0 time: "COUNT"/"MAGNITUDE", 0 digits; 1 FFT: "FREQUENCY"/"MAGNITUDE", 3 digits;
// 2 histogram: "BIN"/"MAGNITUDE", 0 digits. nullopt for any other analysis.
std::optional<ReadoutFormat> readoutFormat(int test);

}  // namespace evkit::collection
