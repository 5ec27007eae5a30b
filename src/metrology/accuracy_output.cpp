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

}  // namespace evkit::metrology
