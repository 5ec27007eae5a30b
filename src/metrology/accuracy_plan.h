#pragma once
// The energy accuracy test plan: the points (current, power factor, voltage), the timing of
// each measurement and the accuracy class whose limits the errors are judged against.
#include <optional>
#include <string>
#include <vector>

namespace evkit::metrology {

// Accuracy classes of static active-energy meters: 1 and 0.5 (direct connected, base
// current Ib), 0.5S and 0.2S (transformer operated, nominal current In; the plan's Ib).
enum class AccuracyClass { k1, k05, k05S, k02S };
std::optional<AccuracyClass> parseAccuracyClass(const std::string& text);
const char* className(AccuracyClass c);  // "1", "0.5", "0.5S", "0.2S"

// The permitted error (percent, +-) of active energy at a current (percent of Ib) and power
// factor (1, or 0.5 inductive / 0.8 capacitive and between), as published for the class:
// widened at low current and at PF below 1. Negative when the class sets no limit there
// (below its lowest test current, or a power factor under 0.5).
double classLimit(AccuracyClass c, double currentPercent, double pf);

struct PlanPoint {
    double currentPercent = 100.0;  // of Ib
    double pf = 1.0;                // 0 < pf <= 1
    bool capacitive = false;        // with pf < 1: current leading
    double volts = 0.0;             // 0: the plan's nominal voltage
    // "5 % Ib, PF 0.5L"
    std::string label() const;
};

struct AccuracyPlan {
    int channel = 1;              // channel pair under test
    double nominalVolts = 230.0;  // V
    double ib = 5.0;              // base (nominal) current, A
    double imax = 10.0;           // largest current of the default points, A
    double frequency = 50.0;      // Hz
    AccuracyClass accuracyClass = AccuracyClass::k05S;
    double settleSeconds = 1.0;      // after setting the source, before measuring
    int windowCycles = 5;            // computation cycles the power method integrates
    int minPulses = 1000;            // the pulse method counts at least this many (expected)
    double maxGateSeconds = 3600.0;  // ... but never longer than this per point
    std::vector<PlanPoint> points;

    double amperes(const PlanPoint& p) const { return ib * p.currentPercent / 100.0; }
    double volts(const PlanPoint& p) const { return p.volts > 0 ? p.volts : nominalVolts; }
};

// The usual metering test points: 1, 2, 5, 10, 20, 50, 100, 120 % of Ib and Imax, at PF 1,
// 0.5 inductive and 0.8 capacitive.
AccuracyPlan defaultPlan();
void setDefaultPoints(AccuracyPlan& plan);

// Plan files: "key = value" lines ('#' comments): channel, voltage, ib, imax, frequency,
// class, settle, window, min-pulses, max-gate, and any number of
//   point = CURRENT, PF[, VOLTAGE]
// with CURRENT as "5%" (of Ib) or "2.5A", PF as "1", "0.5L", "0.8C", VOLTAGE as "230V".
// Without point lines the default points are used (for the file's ib and imax).
std::optional<AccuracyPlan> parsePlan(const std::string& text, std::string* error);
std::optional<AccuracyPlan> readPlanFile(const std::string& path, std::string* error);
std::string planText(const AccuracyPlan& plan);

}  // namespace evkit::metrology
