#pragma once
// A PlotCanvas that writes an SVG document, one element per drawing call.
#include <string>

#include "support/plot_canvas.h"

namespace evkit {

class SvgCanvas : public PlotCanvas {
  public:
    // `width` x `height` units; text without a size of its own is `fontSize` units.
    SvgCanvas(int width, int height, double fontSize = 12);

    void rect(double x, double y, double width, double height, std::optional<Colour> fill,
              std::optional<Stroke> stroke) override;
    void line(PlotPoint a, PlotPoint b, const Stroke& stroke) override;
    void polyline(const std::vector<PlotPoint>& points, const Stroke& stroke) override;
    void polygon(const std::vector<PlotPoint>& points, Colour fill,
                 std::optional<Stroke> stroke) override;
    void disc(PlotPoint centre, double radius, Colour fill) override;
    void text(PlotPoint anchor, const std::string& text, const TextStyle& style) override;

    // The whole document.
    std::string svg() const { return out_ + "</svg>\n"; }

  private:
    std::string out_;
    double fontSize_;
};

}  // namespace evkit
