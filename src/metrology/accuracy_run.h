#pragma once
// The energy accuracy test: for each point of a plan, set the source, let it settle, measure
// the active energy by the two methods the board offers (the monitor's active power
// integrated over a window of computation cycles, and the energy pulses counted over a gate
// with the meter constant) and compare each with the reference.
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "board/session.h"
#include "metrology/accuracy_plan.h"
#include "metrology/scaling.h"
#include "support/console.h"

namespace evkit::sim {
class VirtualBoard;
}

namespace evkit::metrology {

enum class Method { Power, Pulse, Both };
std::optional<Method> parseMethod(const std::string& text);  // power, pulse, both
const char* methodName(Method m);

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct PointResult {
    int index = 0;  // 1-based
    PlanPoint point;
    double volts = 0, amperes = 0, phiDeg = 0;           // what the source is set to
    double referenceW = kNoValue;                        // reference active power
    double powerW = kNoValue, powerErrorPct = kNoValue;  // monitor method
    double pulseW = kNoValue, pulseErrorPct = kNoValue;  // pulse method
    int pulses = 0;
    double gateSeconds = 0;
    double limitPct = -1;  // the class's limit, negative: not judged
    bool judged() const { return limitPct >= 0; }
    // Within the limit (true when not measured by that method or not judged).
    bool powerPass() const;
    bool pulsePass() const;
    bool pass() const { return powerPass() && pulsePass(); }
};

struct AccuracyRun {
    AccuracyPlan plan;
    Method method = Method::Both;
    Scaling scaling;
    double meterConstant = 0;  // pulses per kWh in use
    std::string device;        // "PM7014 Rev C" when known
    std::string date;          // "2026-12-09 10:30:00"
    std::string source;        // description of the source before the run (virtual board)
    // The calibration registers at the start (name, word).
    std::vector<std::pair<std::string, std::uint32_t>> calibration;
    std::vector<PointResult> points;
    bool stopped = false;  // ended by a stop request or the bench
    int status = 0;        // a board step's failure status, 0 when none
    bool complete() const { return !stopped && status == 0 && points.size() == plan.points.size(); }
    bool pass() const;  // every judged point within its limit
};

// How the points reach the source and where the reference comes from. On the virtual board
// both are automatic (virtualBench); on a real bench they are the user's: a callback that
// drives their source or asks them to set it, and the reference meter's reading.
struct Bench {
    // Sets the source to the point; false stops the run.
    std::function<bool(const PointResult& point)> setSource;
    // The reference active power (W) during the point's measurement; nullopt stops the run.
    std::function<std::optional<double>(const PointResult& point)> reference;
    // After the run (also a stopped one): the bench as it was before.
    std::function<void()> restore;
    // Description of the source for the report (may be empty).
    std::string description;
};

// A reference active power as the user types it or a reference file holds it: a number of
// watts above 0, spaces around it allowed. nullopt, with `why` saying what is wrong, for
// anything else (nothing, words, "12 W", 0, a negative or non-finite number).
std::optional<double> parseReferenceWatts(const std::string& text, std::string* why);

// The virtual board as its own bench: the source is programmed to each point (pure sines at
// the plan's frequency, on the plan's channel pair) and the reference is its exact power.
// restore() gives the source back as it was.
Bench virtualBench(sim::VirtualBoard& board, const Scaling& scaling, int channel);

struct RunCallbacks {
    // Before each point is set (index 1-based, of total).
    std::function<void(const PointResult& point, int total)> starting;
    // After each point is measured.
    std::function<void(const PointResult& point, int total)> measured;
    // A stop request (button, Ctrl-C): the run ends at the next step, the board at rest.
    std::function<bool()> stopRequested;
};

// Runs the plan. The board is claimed by each measurement in turn; a stop or a failure ends
// the run with the points done so far in `out`. Returns 0, kStatusCancelled after a stop,
// or the failing status (message shown). A reference that is not a power above 0 W judges
// nothing: the run stops there with a message.
int runAccuracy(Session& session, Console& console, const AccuracyPlan& plan, Method method,
                const Scaling& scaling, Bench& bench, const RunCallbacks& callbacks,
                AccuracyRun* out);

}  // namespace evkit::metrology
