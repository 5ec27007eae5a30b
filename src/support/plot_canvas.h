#pragma once
// The few drawing operations a file plot needs, so that one drawing routine gives both an SVG
// document (support/svg_canvas.h) and a raster image (support/raster_canvas.h).
//
// Coordinates are in plot units with y downwards, as in SVG; text is placed by its baseline.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace evkit {

struct Colour {
    std::uint8_t r = 0, g = 0, b = 0;
    // 0xRRGGBB.
    static constexpr Colour hex(std::uint32_t rgb) {
        return {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                static_cast<std::uint8_t>(rgb)};
    }
    bool operator==(const Colour&) const = default;
};

struct PlotPoint {
    double x = 0, y = 0;
};

struct Stroke {
    Colour colour;
    double width = 1;
    std::vector<double> dash;  // dash and gap lengths, repeated along the line; empty: solid

    Stroke(Colour c = {}, double w = 1, std::vector<double> d = {})
        : colour(c), width(w), dash(std::move(d)) {}
};

enum class TextAnchor { Start, Middle, End };

struct TextStyle {
    double size = 12;  // font size in plot units
    TextAnchor anchor = TextAnchor::Start;
    bool vertical = false;  // turned a quarter left: the text reads upwards from its anchor
};

class PlotCanvas {
  public:
    virtual ~PlotCanvas() = default;
    // A rectangle, filled and/or outlined.
    virtual void rect(double x, double y, double width, double height, std::optional<Colour> fill,
                      std::optional<Stroke> stroke) = 0;
    virtual void line(PlotPoint a, PlotPoint b, const Stroke& stroke) = 0;
    virtual void polyline(const std::vector<PlotPoint>& points, const Stroke& stroke) = 0;
    // A closed polygon, filled (nonzero rule) and optionally outlined.
    virtual void polygon(const std::vector<PlotPoint>& points, Colour fill,
                         std::optional<Stroke> stroke) = 0;
    virtual void disc(PlotPoint centre, double radius, Colour fill) = 0;
    // Black text; `text` is UTF-8.
    virtual void text(PlotPoint anchor, const std::string& text, const TextStyle& style) = 0;
};

}  // namespace evkit
