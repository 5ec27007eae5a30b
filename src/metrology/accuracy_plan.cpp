#include "metrology/accuracy_plan.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "metrology/text_file.h"
#include "support/format.h"

namespace evkit::metrology {

namespace {

// A number followed by an optional unit (returned upper-cased, blanks removed).
bool numberWithUnit(const std::string& text, double* v, std::string* unit) {
    const std::string t = trim(text);
    char* end = nullptr;
    *v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || !std::isfinite(*v)) return false;
    *unit = upper(trim(end));
    return true;
}

// Limits of one class: PF 1 (low band, full band) and PF < 1 (low band, full band), with
// the currents (percent of Ib) where each band starts.
struct ClassLimits {
    double pf1LowFrom, pf1From, pf1Low, pf1;
    double pfLowFrom, pfFrom, pfLow, pf;
};

const ClassLimits& limitsOf(AccuracyClass c) {
    static const ClassLimits k1{5, 10, 1.5, 1.0, 10, 20, 1.5, 1.0};
    static const ClassLimits k05{5, 10, 1.0, 0.5, 10, 20, 1.0, 0.6};
    static const ClassLimits k05S{1, 5, 1.0, 0.5, 2, 10, 1.0, 0.6};
    static const ClassLimits k02S{1, 5, 0.4, 0.2, 2, 10, 0.5, 0.3};
    switch (c) {
        case AccuracyClass::k1:
            return k1;
        case AccuracyClass::k05:
            return k05;
        case AccuracyClass::k05S:
            return k05S;
        case AccuracyClass::k02S:
            return k02S;
    }
    return k05S;
}

}  // namespace

std::optional<AccuracyClass> parseAccuracyClass(const std::string& text) {
    const std::string t = upper(trim(text));
    if (t == "1") return AccuracyClass::k1;
    if (t == "0.5") return AccuracyClass::k05;
    if (t == "0.5S") return AccuracyClass::k05S;
    if (t == "0.2S") return AccuracyClass::k02S;
    return std::nullopt;
}

const char* className(AccuracyClass c) {
    switch (c) {
        case AccuracyClass::k1:
            return "1";
        case AccuracyClass::k05:
            return "0.5";
        case AccuracyClass::k05S:
            return "0.5S";
        case AccuracyClass::k02S:
            return "0.2S";
    }
    return "?";
}

double classLimit(AccuracyClass c, double currentPercent, double pf) {
    const ClassLimits& l = limitsOf(c);
    constexpr double kTolerance = 1e-9;
    if (pf >= 1.0 - 1e-6) {
        if (currentPercent + kTolerance < l.pf1LowFrom) return -1.0;
        return currentPercent + kTolerance < l.pf1From ? l.pf1Low : l.pf1;
    }
    if (pf < 0.5 - 1e-6) return -1.0;
    if (currentPercent + kTolerance < l.pfLowFrom) return -1.0;
    return currentPercent + kTolerance < l.pfFrom ? l.pfLow : l.pf;
}

std::string PlanPoint::label() const {
    std::string pfText = pf >= 1.0 ? "1" : strprintf("%g%s", pf, capacitive ? "C" : "L");
    std::string out = strprintf("%g %% Ib, PF %s", currentPercent, pfText.c_str());
    if (volts > 0) out += strprintf(", %g V", volts);
    return out;
}

void setDefaultPoints(AccuracyPlan& plan) {
    plan.points.clear();
    std::vector<double> currents = {1, 2, 5, 10, 20, 50, 100, 120};
    const double maxPercent = plan.ib > 0 ? plan.imax / plan.ib * 100.0 : 0.0;
    if (maxPercent > 120.0 + 1e-9) currents.push_back(maxPercent);
    const struct {
        double pf;
        bool capacitive;
    } factors[] = {{1.0, false}, {0.5, false}, {0.8, true}};
    for (const auto& f : factors)
        for (double c : currents) plan.points.push_back({c, f.pf, f.capacitive, 0.0});
}

AccuracyPlan defaultPlan() {
    AccuracyPlan plan;
    setDefaultPoints(plan);
    return plan;
}

std::optional<AccuracyPlan> parsePlan(const std::string& text, std::string* error) {
    AccuracyPlan plan;
    std::vector<PlanPoint> points;
    const auto entry = [&](const std::string& key, const std::string& value,
                           const std::string& line) -> std::string {
        double v = 0;
        std::string unit;
        if (key == "point") {
            std::vector<std::string> parts;
            std::stringstream ss(value);
            for (std::string p; std::getline(ss, p, ',');) parts.push_back(trim(p));
            if (parts.size() < 2 || parts.size() > 3) return "a point is CURRENT, PF[, VOLTAGE]";
            PlanPoint p;
            if (!numberWithUnit(parts[0], &v, &unit) || v <= 0 || !(unit == "%" || unit == "A"))
                return "'" + parts[0] + "' is not a current such as 5% or 2.5A";
            p.currentPercent = unit == "%" ? v : -v;  // amperes resolved below, once ib is known
            if (!numberWithUnit(parts[1], &v, &unit) || v <= 0 || v > 1 ||
                !(unit == "L" || unit == "C" || (unit.empty() && v == 1)))
                return "'" + parts[1] + "' is not a power factor such as 1, 0.5L or 0.8C";
            p.pf = v;
            p.capacitive = unit == "C";
            if (parts.size() == 3) {
                if (!numberWithUnit(parts[2], &v, &unit) || v <= 0 ||
                    !(unit.empty() || unit == "V"))
                    return "'" + parts[2] + "' is not a voltage such as 230V";
                p.volts = v;
            }
            points.push_back(p);
            return {};
        }
        if (key == "class") {
            auto c = parseAccuracyClass(value);
            if (!c) return "class is 1, 0.5, 0.5S or 0.2S";
            plan.accuracyClass = *c;
            return {};
        }
        if (!numberWithUnit(value, &v, &unit) || v <= 0)
            return "'" + value + "' is not a positive number";
        if (key == "channel" && (v == 1 || v == 2))
            plan.channel = static_cast<int>(v);
        else if (key == "voltage")
            plan.nominalVolts = v;
        else if (key == "ib")
            plan.ib = v;
        else if (key == "imax")
            plan.imax = v;
        else if (key == "frequency")
            plan.frequency = v;
        else if (key == "settle")
            plan.settleSeconds = v;
        else if (key == "window" && v >= 1 && v <= 1000)
            plan.windowCycles = static_cast<int>(v);
        else if (key == "min-pulses" && v <= 1e7)
            plan.minPulses = static_cast<int>(v);
        else if (key == "max-gate" && v <= 335000)
            plan.maxGateSeconds = v;
        else
            return "unknown key or value out of range: '" + line + "'";
        return {};
    };
    if (const std::string why = forEachSetting(text, entry); !why.empty()) {
        if (error) *error = "plan " + why;
        return std::nullopt;
    }
    if (points.empty()) {
        setDefaultPoints(plan);
    } else {
        for (auto& p : points)
            if (p.currentPercent < 0) p.currentPercent = -p.currentPercent / plan.ib * 100.0;
        plan.points = points;
    }
    return plan;
}

std::optional<AccuracyPlan> readPlanFile(const std::string& path, std::string* error) {
    std::string text;
    if (!readTextFile(path, "the plan", &text, error)) return std::nullopt;
    return parsePlan(text, error);
}

std::string planText(const AccuracyPlan& p) {
    std::string out = strprintf(
        "channel = %d\nvoltage = %g\nib = %g\nimax = %g\nfrequency = %g\nclass = %s\n"
        "settle = %g\nwindow = %d\nmin-pulses = %d\nmax-gate = %g\n",
        p.channel, p.nominalVolts, p.ib, p.imax, p.frequency, className(p.accuracyClass),
        p.settleSeconds, p.windowCycles, p.minPulses, p.maxGateSeconds);
    for (const auto& pt : p.points) {
        out += strprintf("point = %g%%, ", pt.currentPercent);
        out +=
            pt.pf >= 1.0 ? std::string("1") : strprintf("%g%s", pt.pf, pt.capacitive ? "C" : "L");
        if (pt.volts > 0) out += strprintf(", %gV", pt.volts);
        out += "\n";
    }
    return out;
}

}  // namespace evkit::metrology
