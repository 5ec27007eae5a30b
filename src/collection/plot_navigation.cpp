#include "collection/plot_navigation.h"

#include <algorithm>
#include <cmath>

namespace evkit::collection {

std::optional<AxisRanges> zoomRectangle(double x1, double y1, double x2, double y2) {
    if (x1 == x2 || y1 == y2) return std::nullopt;
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    return AxisRanges{x1, x2, y1, y2};
}

OverlayView overlayView(std::span<const std::int32_t> raw, int samples, int channels) {
    OverlayView v;
    const std::size_t n = std::min(raw.size(), static_cast<std::size_t>(std::max(samples, 0)) *
                                                   static_cast<std::size_t>(std::max(channels, 0)));
    if (n > 0) {
        const auto [lo, hi] = std::minmax_element(raw.begin(), raw.begin() + static_cast<long>(n));
        v.minimum = *lo;
        v.maximum = *hi;
    }
    v.lo = static_cast<long long>(std::trunc(v.minimum / 6.0 - 1.0));
    v.hi = static_cast<long long>(std::trunc(v.maximum / 6.0 + 1.0));
    v.axes = {0.0, static_cast<double>(std::max(samples, 0)), 6.0 * static_cast<double>(v.lo) - 1.0,
              6.0 * static_cast<double>(v.hi) + 1.0};
    return v;
}

Span1D scaleAbout(Span1D range, double anchor, double factor) {
    return {anchor + (range.lo - anchor) * factor, anchor + (range.hi - anchor) * factor};
}

double wheelZoomFactor(int angleDelta) {
    return std::pow(0.85, angleDelta / 120.0);
}

std::optional<std::size_t> nearestKey(std::span<const double> keys, double x) {
    if (keys.empty()) return std::nullopt;
    const auto it = std::lower_bound(keys.begin(), keys.end(), x);
    if (it == keys.begin()) return 0;
    if (it == keys.end()) return keys.size() - 1;
    const auto i = static_cast<std::size_t>(it - keys.begin());
    return (x - keys[i - 1] <= keys[i] - x) ? i - 1 : i;
}

std::optional<ReadoutFormat> readoutFormat(int test) {
    switch (test) {
        case 0:
            return ReadoutFormat{"COUNT", "MAGNITUDE", 0};
        case 1:
            return ReadoutFormat{"FREQUENCY", "MAGNITUDE", 3};
        case 2:
            return ReadoutFormat{"BIN", "MAGNITUDE", 0};
        default:
            return std::nullopt;
    }
}

}  // namespace evkit::collection
