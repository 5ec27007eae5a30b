#pragma once
// What an accuracy run leaves behind: the table (CSV), a short plain-text report and the
// error-versus-current plot as SVG or PNG (the desktop program also exports PDF).
#include <string>

#include "metrology/accuracy_run.h"

namespace evkit {
class PlotCanvas;
}

namespace evkit::metrology {

// One header line, then one line per measured point:
// point,label,current_pct_ib,current_A,voltage_V,pf,reference_W,power_W,power_error_pct,
// pulse_W,pulse_error_pct,pulses,limit_pct,power_pass,pulse_pass
// (empty fields for a method not run; limit and passes empty for points the class does not
// judge).
std::string accuracyCsv(const AccuracyRun& run);
std::string accuracyReport(const AccuracyRun& run);

// The plot: percent error against current (percent of Ib, log axis), one curve per power
// factor and method, the class limit band shaded, drawn on a canvas of `width` x `height`
// units (metrology/accuracy_plot.cpp).
void drawAccuracyPlot(const AccuracyRun& run, PlotCanvas& canvas, int width, int height);
// The plot as an SVG document of `width` x `height` pixels.
std::string accuracySvg(const AccuracyRun& run, int width = 900, int height = 560);
// The plot as a PNG file, drawn at two pixels a unit: 1800 x 1120 pixels by default.
std::string accuracyPng(const AccuracyRun& run, int width = 900, int height = 560);
// Whether `path` names a plot file the program writes: .svg or .png, in any case.
bool isAccuracyPlotName(const std::string& path);
// The plot in the format its file name asks for (PNG for .png, SVG otherwise).
std::string accuracyPlot(const AccuracyRun& run, const std::string& path);
// The device as the report names it ("PM7014"), empty when none was identified.
std::string accuracyDeviceName(int chip);

// The curves of the plot: points of one power factor and method, in the plan's order.
struct Curve {
    std::string name;  // "PF 1 power", "PF 0.5L pulse"
    bool pulse = false;
    double pf = 1;
    bool capacitive = false;
    std::vector<double> x, y;  // current % Ib, error %
};
std::vector<Curve> accuracyCurves(const AccuracyRun& run);
// The limit band of the class at PF 1 and at PF below 1: (current % Ib, limit %) corners of
// a step line, from the class's lowest current to the largest plotted one.
std::vector<std::pair<double, double>> limitSteps(const AccuracyRun& run, bool unityPf);

}  // namespace evkit::metrology
