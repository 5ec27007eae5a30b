// The accuracy plot, drawn once for the SVG and the PNG file.
#include <algorithm>
#include <cmath>

#include "metrology/accuracy_output.h"
#include "support/format.h"
#include "support/raster_canvas.h"
#include "support/svg_canvas.h"

namespace evkit::metrology {

namespace {

constexpr Colour kWhite = Colour::hex(0xffffff), kBlack = Colour::hex(0x000000);
constexpr Colour kBandFill = Colour::hex(0xdfe9f7), kBandEdge = Colour::hex(0x1f5fbf);
constexpr Colour kDashedLimit = Colour::hex(0x888888);

Colour curveColour(double pf, bool capacitive) {
    if (pf >= 1.0) return Colour::hex(0x1f5fbf);
    return Colour::hex(capacitive ? 0x2a9d3a : 0xc0392b);
}

}  // namespace

void drawAccuracyPlot(const AccuracyRun& run, PlotCanvas& canvas, int width, int height) {
    const auto curves = accuracyCurves(run);
    const auto band1 = limitSteps(run, true), band05 = limitSteps(run, false);
    double xmin = 1.0, xmax = 120.0, ymax = 0.0;
    for (const auto& p : run.plan.points) {
        xmin = std::min(xmin, p.currentPercent);
        xmax = std::max(xmax, p.currentPercent);
    }
    for (const auto& b : {band1, band05})
        for (const auto& [x, l] : b) ymax = std::max(ymax, l);
    for (const auto& c : curves)
        for (double y : c.y) ymax = std::max(ymax, std::fabs(y));
    ymax = std::max(0.5, ymax * 1.15);
    xmin /= 1.5;
    xmax *= 1.5;
    const double left = 70, right = width - 170.0, top = 40, bottom = height - 55.0;
    const auto px = [&](double x) {
        return left + (std::log10(x) - std::log10(xmin)) / (std::log10(xmax) - std::log10(xmin)) *
                          (right - left);
    };
    const auto py = [&](double y) { return top + (ymax - y) / (2 * ymax) * (bottom - top); };
    const auto thin = [](Colour c, std::vector<double> dash = {}) {
        return Stroke{c, 1, std::move(dash)};
    };
    canvas.rect(0, 0, width, height, kWhite, std::nullopt);
    canvas.text(
        {left, 22},
        strprintf("Energy error against current, class %s limits%s",
                  className(run.plan.accuracyClass), run.complete() ? "" : " (incomplete run)"),
        {.size = 15});
    // Limit bands: PF 1 shaded under the grid, its edge and the PF below 1 limits (dashed)
    // over it, so that no grid line hides a limit.
    const auto inRange = [&](const std::vector<std::pair<double, double>>& pts, double sign,
                             std::vector<PlotPoint>& out) {
        for (const auto& [x, l] : pts)
            if (x >= xmin && x <= xmax) out.push_back({px(x), py(sign * l)});
    };
    std::vector<PlotPoint> band;
    inRange(band1, 1, band);
    inRange({band1.rbegin(), band1.rend()}, -1, band);
    if (!band.empty()) canvas.polygon(band, kBandFill, std::nullopt);
    // Grid and axes.
    for (double decade = std::pow(10.0, std::floor(std::log10(xmin))); decade <= xmax; decade *= 10)
        for (int m = 1; m <= 9; ++m) {
            const double x = decade * m;
            if (x < xmin || x > xmax) continue;
            canvas.line({px(x), top}, {px(x), bottom},
                        thin(Colour::hex(m == 1 ? 0xbbbbbb : 0xeeeeee)));
            if (m == 1 || m == 2 || m == 5)
                canvas.text({px(x), bottom + 16}, strprintf("%g", x),
                            {.anchor = TextAnchor::Middle});
        }
    const double ystep = ymax > 4 ? 1.0 : (ymax > 1.5 ? 0.5 : (ymax > 0.6 ? 0.2 : 0.1));
    for (double y = -std::floor(ymax / ystep) * ystep; y <= ymax + 1e-9; y += ystep) {
        const bool zero = std::fabs(y) < 1e-9;
        canvas.line({left, py(y)}, {right, py(y)}, thin(Colour::hex(zero ? 0x666666 : 0xeeeeee)));
        canvas.text({left - 6, py(y) + 4}, strprintf("%.1f", zero ? 0.0 : y),
                    {.anchor = TextAnchor::End});
    }
    if (!band.empty()) {
        band.push_back(band.front());
        canvas.polyline(band, thin(kBandEdge));
    }
    for (double sign : {1.0, -1.0}) {
        std::vector<PlotPoint> limit;
        inRange(band05, sign, limit);
        canvas.polyline(limit, thin(kDashedLimit, {6, 4}));
    }
    canvas.rect(left, top, right - left, bottom - top, std::nullopt, thin(kBlack));
    canvas.text({(left + right) / 2, height - 14.0}, "Current (% of Ib, log scale)",
                {.anchor = TextAnchor::Middle});
    canvas.text({18, (top + bottom) / 2}, "Error of active energy (%)",
                {.anchor = TextAnchor::Middle, .vertical = true});
    // Curves and legend.
    int row = 0;
    for (const auto& c : curves) {
        const Colour colour = curveColour(c.pf, c.capacitive);
        const Stroke stroke{colour, 2, c.pulse ? std::vector<double>{5, 3} : std::vector<double>{}};
        std::vector<PlotPoint> points;
        for (size_t i = 0; i < c.x.size(); ++i)
            points.push_back({px(c.x[i]), py(std::clamp(c.y[i], -ymax, ymax))});
        canvas.polyline(points, stroke);
        for (const auto& p : points) {
            if (c.pulse)
                canvas.rect(p.x - 3.5, p.y - 3.5, 7, 7, colour, std::nullopt);
            else
                canvas.disc(p, 3.5, colour);
        }
        const double ly = top + 10 + 20 * row++;
        canvas.line({right + 12, ly}, {right + 40, ly}, stroke);
        canvas.text({right + 46, ly + 4}, c.name, {});
    }
    const double ly = top + 10 + 20 * row;
    canvas.rect(right + 12, ly - 5, 28, 10, kBandFill, thin(kBandEdge));
    canvas.text({right + 46, ly + 4}, "limit, PF 1", {});
    canvas.line({right + 12, ly + 20}, {right + 40, ly + 20}, thin(kDashedLimit, {6, 4}));
    canvas.text({right + 46, ly + 24}, "limit, PF 0.5L/0.8C", {});
}

std::string accuracySvg(const AccuracyRun& run, int width, int height) {
    SvgCanvas canvas(width, height);
    drawAccuracyPlot(run, canvas, width, height);
    return canvas.svg();
}

std::string accuracyPng(const AccuracyRun& run, int width, int height) {
    RasterCanvas canvas(width, height, 2);
    drawAccuracyPlot(run, canvas, width, height);
    return canvas.png();
}

}  // namespace evkit::metrology

namespace evkit::metrology {

namespace {
std::string lowerExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}
}  // namespace

bool isAccuracyPlotName(const std::string& path) {
    const std::string ext = lowerExtension(path);
    return ext == "svg" || ext == "png";
}

std::string accuracyPlot(const AccuracyRun& run, const std::string& path) {
    return lowerExtension(path) == "png" ? accuracyPng(run) : accuracySvg(run);
}

std::string accuracyDeviceName(int chip) {
    return chip > 0 ? strprintf("PM70%02d", chip) : std::string();
}

}  // namespace evkit::metrology
