#include "support/raster_canvas.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "support/bitmap_font.h"
#include "support/png_writer.h"

namespace evkit {

// How much of each pixel of a box a shape covers, 0 to 1; shapes are painted once through
// their mask so that overlapping pieces of one line do not darken each other.
struct RasterCanvas::Mask {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // pixel box [x0, x1) x [y0, y1)
    std::vector<float> coverage;

    Mask(int ax0, int ay0, int ax1, int ay1)
        : x0(ax0),
          y0(ay0),
          x1(std::max(ax0, ax1)),
          y1(std::max(ay0, ay1)),
          coverage(static_cast<size_t>(x1 - x0) * static_cast<size_t>(y1 - y0), 0.0f) {}
    float& at(int x, int y) {
        return coverage[static_cast<size_t>(y - y0) * static_cast<size_t>(x1 - x0) +
                        static_cast<size_t>(x - x0)];
    }
    void raise(int x, int y, double c) {
        if (c <= 0) return;
        float& v = at(x, y);
        v = std::max(v, static_cast<float>(std::min(c, 1.0)));
    }
};

namespace {

double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

// A round dot of radius `r` into the mask.
template <class M>
void paintDot(M& mask, PlotPoint c, double r) {
    const int xa = std::max(mask.x0, static_cast<int>(std::floor(c.x - r - 1)));
    const int xb = std::min(mask.x1, static_cast<int>(std::ceil(c.x + r + 1)));
    const int ya = std::max(mask.y0, static_cast<int>(std::floor(c.y - r - 1)));
    const int yb = std::min(mask.y1, static_cast<int>(std::ceil(c.y + r + 1)));
    for (int y = ya; y < yb; ++y)
        for (int x = xa; x < xb; ++x)
            mask.raise(x, y, r + 0.5 - std::hypot(x + 0.5 - c.x, y + 0.5 - c.y));
}

// A straight piece of line `half` pixels either side of a -> b, square ends at a and b.
template <class M>
void paintSegment(M& mask, PlotPoint a, PlotPoint b, double half) {
    const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
    if (length < 1e-9) return;
    const double ux = dx / length, uy = dy / length;
    const int xa = std::max(mask.x0, static_cast<int>(std::floor(std::min(a.x, b.x) - half - 1)));
    const int xb = std::min(mask.x1, static_cast<int>(std::ceil(std::max(a.x, b.x) + half + 1)));
    const int ya = std::max(mask.y0, static_cast<int>(std::floor(std::min(a.y, b.y) - half - 1)));
    const int yb = std::min(mask.y1, static_cast<int>(std::ceil(std::max(a.y, b.y) + half + 1)));
    for (int y = ya; y < yb; ++y)
        for (int x = xa; x < xb; ++x) {
            const double vx = x + 0.5 - a.x, vy = y + 0.5 - a.y;
            const double along = vx * ux + vy * uy, across = std::fabs(vx * uy - vy * ux);
            mask.raise(
                x, y,
                clamp01(half + 0.5 - across) * clamp01(std::min(along, length - along) + 0.5));
        }
}

// The dashes of a line: the pieces drawn, each a line of its own.
std::vector<std::vector<PlotPoint>> dashes(const std::vector<PlotPoint>& points,
                                           std::vector<double> pattern) {
    if (pattern.size() % 2) pattern.insert(pattern.end(), pattern.begin(), pattern.end());
    const bool solid =
        std::any_of(pattern.begin(), pattern.end(), [](double d) { return d < 0; }) ||
        std::accumulate(pattern.begin(), pattern.end(), 0.0) <= 0;
    if (pattern.empty() || solid) return {points};
    std::vector<std::vector<PlotPoint>> out;
    std::vector<PlotPoint> piece{points.front()};
    size_t index = 0;
    double left = pattern[0];
    bool on = true;
    for (size_t i = 1; i < points.size(); ++i) {
        const PlotPoint a = points[i - 1], b = points[i];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        double done = 0;
        while (length - done > left) {
            done += left;
            const PlotPoint q{a.x + (b.x - a.x) * done / length, a.y + (b.y - a.y) * done / length};
            if (on) {
                piece.push_back(q);
                out.push_back(std::move(piece));
            }
            piece = {q};
            on = !on;
            index = (index + 1) % pattern.size();
            left = pattern[index];
        }
        left -= length - done;
        if (on) piece.push_back(b);
    }
    if (on && piece.size() > 1) out.push_back(std::move(piece));
    return out;
}

}  // namespace

RasterCanvas::RasterCanvas(int width, int height, double scale)
    : width_(std::max(1, static_cast<int>(std::lround(width * scale)))),
      height_(std::max(1, static_cast<int>(std::lround(height * scale)))),
      scale_(scale),
      rgb_(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3, 0xff) {}

Colour RasterCanvas::pixel(int x, int y) const {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width_) + x) * 3;
    return {rgb_[at], rgb_[at + 1], rgb_[at + 2]};
}

std::string RasterCanvas::png() const {
    return encodePng(width_, height_, rgb_);
}

void RasterCanvas::blend(int x, int y, Colour c, double coverage) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0) return;
    std::uint8_t* p = &rgb_[(static_cast<size_t>(y) * static_cast<size_t>(width_) + x) * 3];
    const std::uint8_t source[3] = {c.r, c.g, c.b};
    if (coverage >= 1) {
        std::copy(source, source + 3, p);
        return;
    }
    const int a = static_cast<int>(coverage * 255 + 0.5);  // in 255ths
    for (int i = 0; i < 3; ++i)
        p[i] = static_cast<std::uint8_t>(
            p[i] + ((source[i] - p[i]) * a + (source[i] >= p[i] ? 127 : -127)) / 255);
}

RasterCanvas::Mask RasterCanvas::maskAround(const std::vector<PlotPoint>& pixels,
                                            double margin) const {
    double xa = 1e300, xb = -1e300, ya = 1e300, yb = -1e300;
    for (const auto& p : pixels) {
        xa = std::min(xa, p.x);
        xb = std::max(xb, p.x);
        ya = std::min(ya, p.y);
        yb = std::max(yb, p.y);
    }
    const auto lo = [&](double v, int limit) {
        return static_cast<int>(std::clamp(std::floor(v - margin), 0.0, double(limit)));
    };
    const auto hi = [&](double v, int limit) {
        return static_cast<int>(std::clamp(std::ceil(v + margin), 0.0, double(limit)));
    };
    if (pixels.empty()) return Mask(0, 0, 0, 0);
    return Mask(lo(xa, width_), lo(ya, height_), hi(xb, width_), hi(yb, height_));
}

void RasterCanvas::paint(const Mask& mask, Colour colour) {
    size_t i = 0;
    for (int y = mask.y0; y < mask.y1; ++y)
        for (int x = mask.x0; x < mask.x1; ++x) blend(x, y, colour, mask.coverage[i++]);
}

void RasterCanvas::stroke(std::vector<PlotPoint> points, bool closed, const Stroke& s) {
    if (points.empty() || s.width <= 0) return;
    for (auto& p : points) p = {p.x * scale_, p.y * scale_};
    if (closed) points.push_back(points.front());
    const double half = s.width * scale_ / 2;
    std::vector<double> pattern = s.dash;
    for (double& d : pattern) d *= scale_;
    Mask mask = maskAround(points, half + 2);
    for (const auto& piece : dashes(points, pattern)) {
        for (size_t i = 1; i < piece.size(); ++i) paintSegment(mask, piece[i - 1], piece[i], half);
        // Round joins where a piece turns.
        for (size_t i = 1; i + 1 < piece.size(); ++i) paintDot(mask, piece[i], half);
        if (closed && s.dash.empty()) paintDot(mask, piece.front(), half);
    }
    paint(mask, s.colour);
}

void RasterCanvas::rect(double x, double y, double w, double h, std::optional<Colour> fill,
                        std::optional<Stroke> stroke) {
    if (fill) {
        const double xa = x * scale_, xb = (x + w) * scale_, ya = y * scale_, yb = (y + h) * scale_;
        Mask mask = maskAround({{xa, ya}, {xb, yb}}, 1);
        for (int py = mask.y0; py < mask.y1; ++py) {
            const double cy = clamp01(std::min(yb, py + 1.0) - std::max(ya, double(py)));
            for (int px = mask.x0; px < mask.x1; ++px)
                mask.raise(px, py, cy * clamp01(std::min(xb, px + 1.0) - std::max(xa, double(px))));
        }
        paint(mask, *fill);
    }
    if (stroke) this->stroke({{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}, true, *stroke);
}

void RasterCanvas::line(PlotPoint a, PlotPoint b, const Stroke& s) {
    stroke({a, b}, false, s);
}

void RasterCanvas::polyline(const std::vector<PlotPoint>& points, const Stroke& s) {
    stroke(points, false, s);
}

void RasterCanvas::polygon(const std::vector<PlotPoint>& points, Colour fill,
                           std::optional<Stroke> outline) {
    if (points.size() >= 3) {
        std::vector<PlotPoint> px(points);
        for (auto& p : px) p = {p.x * scale_, p.y * scale_};
        Mask mask = maskAround(px, 1);
        // Four scan lines a pixel row; the spans inside (nonzero winding) add their share of
        // each pixel they cross.
        constexpr int kSub = 4;
        std::vector<std::pair<double, int>> crossings;
        for (int y = mask.y0; y < mask.y1; ++y)
            for (int k = 0; k < kSub; ++k) {
                const double sy = y + (k + 0.5) / kSub;
                crossings.clear();
                for (size_t i = 0; i < px.size(); ++i) {
                    const PlotPoint a = px[i], b = px[(i + 1) % px.size()];
                    if ((a.y <= sy) == (b.y <= sy)) continue;
                    crossings.emplace_back(a.x + (sy - a.y) * (b.x - a.x) / (b.y - a.y),
                                           b.y > a.y ? 1 : -1);
                }
                std::sort(crossings.begin(), crossings.end());
                int winding = 0;
                for (size_t i = 0; i + 1 < crossings.size(); ++i) {
                    winding += crossings[i].second;
                    if (winding == 0) continue;
                    const double xa = std::max(crossings[i].first, double(mask.x0));
                    const double xb = std::min(crossings[i + 1].first, double(mask.x1));
                    for (int x = static_cast<int>(std::floor(xa)); x < xb; ++x) {
                        const double share = std::min(xb, x + 1.0) - std::max(xa, double(x));
                        if (share > 0) mask.at(x, y) += static_cast<float>(share / kSub);
                    }
                }
            }
        paint(mask, fill);
    }
    if (outline) stroke(points, true, *outline);
}

void RasterCanvas::disc(PlotPoint centre, double radius, Colour fill) {
    const PlotPoint c{centre.x * scale_, centre.y * scale_};
    const double r = radius * scale_;
    Mask mask = maskAround({c}, r + 2);
    paintDot(mask, c, r);
    paint(mask, fill);
}

void RasterCanvas::text(PlotPoint anchor, const std::string& text, const TextStyle& style) {
    // Printable ASCII; any other character (a UTF-8 sequence) shows as '?'.
    std::string shown;
    for (unsigned char c : text) {
        if (c >= 0x80 && c < 0xc0) continue;
        shown += c >= 0x80 ? '?' : static_cast<char>(c);
    }
    if (shown.empty()) return;
    const int dot = std::max(1, static_cast<int>(std::lround(style.size * scale_ / 12)));
    const int width = static_cast<int>(shown.size()) * font::kAdvance * dot - dot;
    int start = 0;  // along the text, from the anchor
    if (style.anchor == TextAnchor::Middle) start = -width / 2;
    if (style.anchor == TextAnchor::End) start = -width;
    const int ax = static_cast<int>(std::lround(anchor.x * scale_));
    const int ay = static_cast<int>(std::lround(anchor.y * scale_));
    const Colour black{};
    for (size_t i = 0; i < shown.size(); ++i) {
        const auto& g = font::glyph(static_cast<unsigned char>(shown[i]));
        for (int row = 0; row < font::kGlyphHeight; ++row)
            for (int col = 0; col < font::kGlyphWidth; ++col) {
                if (!(g[row] >> (font::kGlyphWidth - 1 - col) & 1)) continue;
                // The dot's corner in text coordinates: u along the text, v down from the top
                // of the capitals.
                const int u = start + (static_cast<int>(i) * font::kAdvance + col) * dot;
                const int v = (row - font::kAscent) * dot;
                for (int a = 0; a < dot; ++a)
                    for (int b = 0; b < dot; ++b) {
                        if (style.vertical)
                            blend(ax + v + b, ay - u - a - 1, black, 1);
                        else
                            blend(ax + u + a, ay + v + b, black, 1);
                    }
            }
    }
}

}  // namespace evkit
