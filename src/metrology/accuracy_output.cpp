#include "metrology/accuracy_output.h"

#include <algorithm>
#include <cmath>

#include "support/format.h"

namespace evkit::metrology {

namespace {

std::string field(double v, const char* fmt = "%.6g") {
    return std::isfinite(v) ? strprintf(fmt, v) : std::string();
}

std::string pfText(const PlanPoint& p) {
    return p.pf >= 1.0 ? std::string("1") : strprintf("%g%s", p.pf, p.capacitive ? "C" : "L");
}

const char* passText(bool measured, bool judged, bool pass) {
    if (!measured || !judged) return "";
    return pass ? "pass" : "FAIL";
}

const char* curveColour(double pf, bool capacitive) {
    if (pf >= 1.0) return "#1f5fbf";
    return capacitive ? "#2a9d3a" : "#c0392b";
}

}  // namespace

std::string accuracyCsv(const AccuracyRun& run) {
    std::string out =
        "point,label,current_pct_ib,current_A,voltage_V,pf,reference_W,power_W,power_error_pct,"
        "pulse_W,pulse_error_pct,pulses,limit_pct,power_pass,pulse_pass\n";
    for (const auto& p : run.points) {
        const bool pulse = std::isfinite(p.pulseW);
        out += strprintf("%d,\"%s\",%g,%.6g,%.6g,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", p.index,
                         p.point.label().c_str(), p.point.currentPercent, p.amperes, p.volts,
                         pfText(p.point).c_str(), field(p.referenceW, "%.9g").c_str(),
                         field(p.powerW, "%.9g").c_str(), field(p.powerErrorPct, "%.5f").c_str(),
                         field(p.pulseW, "%.9g").c_str(), field(p.pulseErrorPct, "%.5f").c_str(),
                         pulse ? std::to_string(p.pulses).c_str() : "",
                         p.judged() ? strprintf("%g", p.limitPct).c_str() : "",
                         passText(std::isfinite(p.powerErrorPct), p.judged(), p.powerPass()),
                         passText(std::isfinite(p.pulseErrorPct), p.judged(), p.pulsePass()));
    }
    return out;
}

std::string accuracyReport(const AccuracyRun& run) {
    const auto& plan = run.plan;
    std::string out = "Energy accuracy test\n\n";
    out += "Date:            " + run.date + "\n";
    out +=
        "Device:          " + (run.device.empty() ? std::string("(not identified)") : run.device) +
        "\n";
    out += strprintf("Channel pair:    %d\n", plan.channel);
    out += strprintf("Scaling:         V1 %g V, I1 %g A, V2 %g V, I2 %g A at full scale\n",
                     run.scaling.channel[0].volts, run.scaling.channel[0].amperes,
                     run.scaling.channel[1].volts, run.scaling.channel[1].amperes);
    out += run.method == Method::Power
               ? std::string("Meter constant:  (not used)\n")
               : strprintf("Meter constant:  %.6g pulses/kWh%s\n", run.meterConstant,
                           run.scaling.meterConstant > 0 ? "" : " (from the pulse rate register)");
    out += strprintf(
        "Plan:            Ib %g A, Imax %g A, %g V, %g Hz, %zu points; settle %g s, "
        "window %d cycles, at least %d pulses (gate at most %g s)\n",
        plan.ib, plan.imax, plan.nominalVolts, plan.frequency, plan.points.size(),
        plan.settleSeconds, plan.windowCycles, plan.minPulses, plan.maxGateSeconds);
    out += strprintf("Class:           %s\nMethods:         %s\n", className(plan.accuracyClass),
                     run.method == Method::Both ? "power and pulse" : methodName(run.method));
    if (!run.source.empty()) out += "Source before:   " + run.source + "\n";
    out += "Calibration:    ";
    for (const auto& [name, word] : run.calibration)
        out += strprintf(" %s=0x%06x", name.c_str(), word);
    out += "\n\n";
    out +=
        " #  point                     reference W   power err %   pulse err %   limit %  result\n";
    int judged = 0, failed = 0;
    for (const auto& p : run.points) {
        const std::string limit = p.judged() ? strprintf("%g", p.limitPct) : "-";
        const char* result = !p.judged() ? "not judged" : (p.pass() ? "pass" : "FAIL");
        if (p.judged()) {
            ++judged;
            if (!p.pass()) ++failed;
        }
        out +=
            strprintf("%2d  %-24s %12.4f  %12s  %12s  %8s  %s\n", p.index, p.point.label().c_str(),
                      p.referenceW, field(p.powerErrorPct, "%+.4f").c_str(),
                      field(p.pulseErrorPct, "%+.4f").c_str(), limit.c_str(), result);
    }
    out += "\n";
    if (run.stopped)
        out +=
            strprintf("Stopped after %zu of %zu points.\n", run.points.size(), plan.points.size());
    else if (run.status != 0)
        out += strprintf("Ended by a board failure after %zu of %zu points.\n", run.points.size(),
                         plan.points.size());
    out += strprintf("Result: %d of %d judged points within class %s%s.\n", judged - failed, judged,
                     className(plan.accuracyClass), failed == 0 ? "" : " (FAIL)");
    return out;
}

std::vector<Curve> accuracyCurves(const AccuracyRun& run) {
    std::vector<Curve> curves;
    for (int pulse = 0; pulse < 2; ++pulse)
        for (const auto& p : run.points) {
            const double y = pulse ? p.pulseErrorPct : p.powerErrorPct;
            if (!std::isfinite(y)) continue;
            auto it = std::find_if(curves.begin(), curves.end(), [&](const Curve& c) {
                return c.pulse == (pulse != 0) && c.pf == p.point.pf &&
                       c.capacitive == p.point.capacitive;
            });
            if (it == curves.end()) {
                Curve c;
                c.pulse = pulse != 0;
                c.pf = p.point.pf;
                c.capacitive = p.point.capacitive;
                c.name = "PF " + pfText(p.point) + (c.pulse ? " pulse" : " power");
                curves.push_back(c);
                it = curves.end() - 1;
            }
            it->x.push_back(p.point.currentPercent);
            it->y.push_back(y);
        }
    return curves;
}

std::vector<std::pair<double, double>> limitSteps(const AccuracyRun& run, bool unityPf) {
    double top = 120.0;
    for (const auto& p : run.plan.points) top = std::max(top, p.currentPercent);
    std::vector<std::pair<double, double>> out;
    const double pf = unityPf ? 1.0 : 0.5;
    const int n = 400;
    for (int i = 0; i <= n; ++i) {
        const double x = 0.5 * std::pow(top * 1.5 / 0.5, static_cast<double>(i) / n);
        const double l = classLimit(run.plan.accuracyClass, x, pf);
        if (l < 0) continue;
        if (!out.empty() && out.back().second != l) out.emplace_back(x, out.back().second);
        out.emplace_back(x, l);
    }
    return out;
}

std::string accuracySvg(const AccuracyRun& run, int width, int height) {
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
    std::string s = strprintf(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" "
        "font-family=\"sans-serif\" font-size=\"12\">\n<rect width=\"100%%\" height=\"100%%\" "
        "fill=\"white\"/>\n",
        width, height);
    s += strprintf(
        "<text x=\"%g\" y=\"22\" font-size=\"15\">Energy error against current, "
        "class %s limits%s</text>\n",
        left, className(run.plan.accuracyClass), run.complete() ? "" : " (incomplete run)");
    // Limit bands: PF 1 shaded, PF below 1 dashed.
    const auto polyline = [&](const std::vector<std::pair<double, double>>& pts, double sign) {
        std::string d;
        for (const auto& [x, l] : pts)
            if (x >= xmin && x <= xmax) d += strprintf("%.1f,%.1f ", px(x), py(sign * l));
        return d;
    };
    if (!band1.empty()) {
        std::string d = polyline(band1, 1);
        std::vector<std::pair<double, double>> rev(band1.rbegin(), band1.rend());
        d += polyline(rev, -1);
        s += "<polygon points=\"" + d +
             "\" fill=\"#dfe9f7\" stroke=\"#1f5fbf\" stroke-width=\"1\"/>\n";
    }
    for (double sign : {1.0, -1.0})
        s += "<polyline points=\"" + polyline(band05, sign) +
             "\" fill=\"none\" stroke=\"#888\" stroke-dasharray=\"6,4\"/>\n";
    // Axes and grid.
    s += strprintf(
        "<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" fill=\"none\" stroke=\"black\"/>\n",
        left, top, right - left, bottom - top);
    for (double decade = std::pow(10.0, std::floor(std::log10(xmin))); decade <= xmax; decade *= 10)
        for (int m = 1; m <= 9; ++m) {
            const double x = decade * m;
            if (x < xmin || x > xmax) continue;
            s += strprintf("<line x1=\"%.1f\" y1=\"%g\" x2=\"%.1f\" y2=\"%g\" stroke=\"%s\"/>\n",
                           px(x), top, px(x), bottom, m == 1 ? "#bbb" : "#eee");
            if (m == 1 || m == 2 || m == 5)
                s += strprintf("<text x=\"%.1f\" y=\"%g\" text-anchor=\"middle\">%g</text>\n",
                               px(x), bottom + 16, x);
        }
    const double ystep = ymax > 4 ? 1.0 : (ymax > 1.5 ? 0.5 : (ymax > 0.6 ? 0.2 : 0.1));
    for (double y = -std::floor(ymax / ystep) * ystep; y <= ymax + 1e-9; y += ystep) {
        s += strprintf("<line x1=\"%g\" y1=\"%.1f\" x2=\"%g\" y2=\"%.1f\" stroke=\"%s\"/>\n", left,
                       py(y), right, py(y), std::fabs(y) < 1e-9 ? "#666" : "#eee");
        s += strprintf("<text x=\"%g\" y=\"%.1f\" text-anchor=\"end\">%.1f</text>\n", left - 6,
                       py(y) + 4, std::fabs(y) < 1e-9 ? 0.0 : y);
    }
    s += strprintf(
        "<text x=\"%g\" y=\"%d\" text-anchor=\"middle\">Current (%% of Ib, log scale)</text>\n",
        (left + right) / 2, height - 14);
    s += strprintf(
        "<text transform=\"translate(18,%g) rotate(-90)\" text-anchor=\"middle\">Error "
        "of active energy (%%)</text>\n",
        (top + bottom) / 2);
    // Curves and legend.
    int row = 0;
    for (const auto& c : curves) {
        const char* colour = curveColour(c.pf, c.capacitive);
        std::string d;
        for (size_t i = 0; i < c.x.size(); ++i)
            d += strprintf("%.1f,%.1f ", px(c.x[i]), py(std::clamp(c.y[i], -ymax, ymax)));
        s += strprintf(
            "<polyline points=\"%s\" fill=\"none\" stroke=\"%s\" stroke-width=\"2\"%s/>\n",
            d.c_str(), colour, c.pulse ? " stroke-dasharray=\"5,3\"" : "");
        for (size_t i = 0; i < c.x.size(); ++i)
            s += c.pulse
                     ? strprintf(
                           "<rect x=\"%.1f\" y=\"%.1f\" width=\"7\" height=\"7\" fill=\"%s\"/>\n",
                           px(c.x[i]) - 3.5, py(std::clamp(c.y[i], -ymax, ymax)) - 3.5, colour)
                     : strprintf("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"3.5\" fill=\"%s\"/>\n",
                                 px(c.x[i]), py(std::clamp(c.y[i], -ymax, ymax)), colour);
        const double ly = top + 10 + 20 * row++;
        s += strprintf(
            "<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"%s\" stroke-width=\"2\"%s/>\n",
            right + 12, ly, right + 40, ly, colour, c.pulse ? " stroke-dasharray=\"5,3\"" : "");
        s += strprintf("<text x=\"%g\" y=\"%g\">%s</text>\n", right + 46, ly + 4,
                       escapeMarkup(c.name).c_str());
    }
    const double ly = top + 10 + 20 * row;
    s += strprintf(
        "<rect x=\"%g\" y=\"%g\" width=\"28\" height=\"10\" fill=\"#dfe9f7\" "
        "stroke=\"#1f5fbf\"/>\n",
        right + 12, ly - 5);
    s += strprintf("<text x=\"%g\" y=\"%g\">limit, PF 1</text>\n", right + 46, ly + 4);
    s += strprintf(
        "<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" stroke=\"#888\" "
        "stroke-dasharray=\"6,4\"/>\n",
        right + 12, ly + 20, right + 40, ly + 20);
    s += strprintf("<text x=\"%g\" y=\"%g\">limit, PF 0.5L/0.8C</text>\n", right + 46, ly + 24);
    s += "</svg>\n";
    return s;
}

}  // namespace evkit::metrology
