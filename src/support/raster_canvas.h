#pragma once
// A PlotCanvas that paints into an RGB pixel buffer, with anti-aliased edges, for PNG files
// written without a graphics library. Text is drawn with the bitmap font of
// support/bitmap_font.h, each dot a square of about size/12 units (whole pixels).
#include <cstdint>
#include <string>
#include <vector>

#include "support/plot_canvas.h"

namespace evkit {

class RasterCanvas : public PlotCanvas {
  public:
    // `width` x `height` plot units at `scale` pixels a unit, white to start with.
    RasterCanvas(int width, int height, double scale = 1);

    int pixelWidth() const { return width_; }
    int pixelHeight() const { return height_; }
    Colour pixel(int x, int y) const;
    // Rows from the top, three bytes a pixel.
    const std::vector<std::uint8_t>& rgb() const { return rgb_; }
    std::string png() const;

    void rect(double x, double y, double width, double height, std::optional<Colour> fill,
              std::optional<Stroke> stroke) override;
    void line(PlotPoint a, PlotPoint b, const Stroke& stroke) override;
    void polyline(const std::vector<PlotPoint>& points, const Stroke& stroke) override;
    void polygon(const std::vector<PlotPoint>& points, Colour fill,
                 std::optional<Stroke> stroke) override;
    void disc(PlotPoint centre, double radius, Colour fill) override;
    void text(PlotPoint anchor, const std::string& text, const TextStyle& style) override;

  private:
    struct Mask;
    Mask maskAround(const std::vector<PlotPoint>& pixels, double margin) const;
    void paint(const Mask& mask, Colour colour);
    void blend(int x, int y, Colour colour, double coverage);
    void stroke(std::vector<PlotPoint> points, bool closed, const Stroke& stroke);

    int width_, height_;
    double scale_;
    std::vector<std::uint8_t> rgb_;
};

}  // namespace evkit
