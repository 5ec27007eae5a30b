#include "metrology/accuracy_run.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "calibration/calibration.h"
#include "conversion/monitor.h"
#include "metrology/source_settings.h"
#include "pulse/pulse_measurement.h"
#include "sim/virtual_board.h"
#include "support/format.h"

namespace evkit::metrology {

namespace {

constexpr double kWsPerKwh = 3.6e6;
constexpr double kSettleStep = 0.05;  // events are served this often while settling
constexpr int kPulsePage = 1, kPulseRateAddress = 14;

// Sums the active power of one channel pair over the cycles of a monitor update.
struct PowerWindow : conversion::MonitorView {
    explicit PowerWindow(int channel)
        : quantity(channel == 1 ? conversion::P1AVG : conversion::P2AVG) {}
    void showCycle(const conversion::Values& v) override {
        sum += v[static_cast<size_t>(quantity)];
        ++cycles;
    }
    conversion::Quantity quantity;
    double sum = 0;
    int cycles = 0;
};

std::string nowText() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

double errorPct(double measured, double reference) {
    if (!std::isfinite(measured) || !std::isfinite(reference) || reference == 0) return kNoValue;
    return (measured / reference - 1.0) * 100.0;
}

bool within(double errorPctValue, double limit) {
    return !std::isfinite(errorPctValue) || limit < 0 || std::fabs(errorPctValue) <= limit;
}

}  // namespace

std::optional<Method> parseMethod(const std::string& text) {
    if (text == "power") return Method::Power;
    if (text == "pulse") return Method::Pulse;
    if (text == "both") return Method::Both;
    return std::nullopt;
}

const char* methodName(Method m) {
    switch (m) {
        case Method::Power:
            return "power";
        case Method::Pulse:
            return "pulse";
        case Method::Both:
            return "both";
    }
    return "both";
}

bool PointResult::powerPass() const {
    return within(powerErrorPct, limitPct);
}
bool PointResult::pulsePass() const {
    return within(pulseErrorPct, limitPct);
}

bool AccuracyRun::pass() const {
    return std::all_of(points.begin(), points.end(), [](const PointResult& p) { return p.pass(); });
}

std::optional<double> parseReferenceWatts(const std::string& text, std::string* why) {
    const auto fail = [&](const std::string& what) -> std::optional<double> {
        if (why) *why = what;
        return std::nullopt;
    };
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return fail("no power was given");
    const std::string word = text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
    std::string quoted = "\"";
    quoted += word;
    quoted += "\"";
    char* end = nullptr;
    const double w = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0') return fail(quoted + " is not a number of watts");
    if (!std::isfinite(w) || w <= 0) return fail(quoted + " is not a power above 0 W");
    return w;
}

Bench virtualBench(sim::VirtualBoard& board, const Scaling& scaling, int channel) {
    Bench bench;
    const sim::SignalSource before = board.signal();
    bench.description = describeSource(before, scaling);
    auto frequency = std::make_shared<double>(before.lineFrequency);
    bench.setSource = [&board, scaling, channel](const PointResult& p) {
        sim::SignalSource s = board.signal();
        setSinePoint(s, scaling, channel, p.volts, p.amperes, p.phiDeg, s.lineFrequency);
        board.setSignal(s);
        return true;
    };
    bench.reference = [&board, scaling, channel](const PointResult&) -> std::optional<double> {
        return exactReadings(board.signal(), scaling, channel).p;
    };
    bench.restore = [&board, before] { board.setSignal(before); };
    return bench;
}

int runAccuracy(Session& session, Console& console, const AccuracyPlan& plan, Method method,
                const Scaling& scaling, Bench& bench, const RunCallbacks& cb, AccuracyRun* out) {
    BoardLink& link = session.link;
    AccuracyRun& run = *out;
    run = AccuracyRun{};
    run.plan = plan;
    run.method = method;
    run.scaling = scaling;
    run.date = nowText();
    run.device = session.DeviceString;
    run.source = bench.description;
    const auto stop = [&] {
        return link.pump().cancelRequested() || (cb.stopRequested && cb.stopRequested());
    };
    const auto finish = [&](int status) {
        if (bench.restore) bench.restore();
        run.status = status == kStatusCancelled ? 0 : status;
        if (status == kStatusCancelled) run.stopped = true;
        return status;
    };

    // What the run starts from: the calibration words and, for the pulses, the cycle count
    // and the meter constant.
    for (const auto& r : calibration::registers()) {
        std::int32_t word = 0;
        if (int s = link.readRegister(1, r.address, &word, session.number_of_bits))
            return finish(s);
        run.calibration.emplace_back(r.name, static_cast<std::uint32_t>(word) & 0xFFFFFFu);
    }
    std::int32_t cycleCount = 0, rateWord = 0;
    if (int s = link.readRegister(pulse::kCycleCountPage, pulse::kCycleCountAddress, &cycleCount,
                                  session.number_of_bits))
        return finish(s);
    cycleCount &= 0xFFFFFF;
    run.meterConstant = scaling.meterConstant;
    if (method != Method::Power && run.meterConstant <= 0) {
        if (int s =
                link.readRegister(kPulsePage, kPulseRateAddress, &rateWord, session.number_of_bits))
            return finish(s);
        run.meterConstant =
            pulsesPerKwhFromRate(scaling, plan.channel, (rateWord & 0xFFFFFF) / 4.0);
    }
    const double cyclePeriod = cycleCount / 4000.0;  // at the usual word rate; for the gate only

    const int total = static_cast<int>(plan.points.size());
    for (int k = 0; k < total; ++k) {
        if (stop()) return finish(kStatusCancelled);
        PointResult p;
        p.index = k + 1;
        p.point = plan.points[static_cast<size_t>(k)];
        p.volts = plan.volts(p.point);
        p.amperes = plan.amperes(p.point);
        p.phiDeg = phaseOfPowerFactor(p.point.pf, p.point.capacitive);
        p.limitPct = classLimit(plan.accuracyClass, p.point.currentPercent, p.point.pf);
        if (cb.starting) cb.starting(p, total);
        if (!bench.setSource(p)) return finish(kStatusCancelled);

        // Settling, with the window alive and the stop button heard.
        for (double waited = 0; waited < plan.settleSeconds; waited += kSettleStep) {
            link.clock().delay(std::min(kSettleStep, plan.settleSeconds - waited));
            link.processEvents();
            if (stop()) return finish(kStatusCancelled);
        }

        if (method != Method::Pulse) {
            conversion::ConversionMonitor monitor(session, console);
            PowerWindow window(plan.channel);
            const int s = monitor.START(plan.windowCycles, true, window);
            if (stop()) return finish(kStatusCancelled);
            if (s != 0) return finish(s);
            if (window.cycles < plan.windowCycles) return finish(kStatusCancelled);
            p.powerW = window.sum / window.cycles * fullScalePower(scaling, plan.channel);
        }
        if (method != Method::Power) {
            const double expectedW = p.volts * p.amperes * p.point.pf;
            const double rate = expectedW * run.meterConstant / kWsPerKwh;  // pulses per second
            const double dead = pulse::deadTime(cycleCount);
            double counting = plan.windowCycles * cyclePeriod;
            if (rate > 0) counting = std::max(counting, plan.minPulses / rate);
            double gate = std::min(dead + counting, plan.maxGateSeconds);
            gate = std::ceil(gate / pulse::kGateUnit - 1e-9) * pulse::kGateUnit;
            if (gate <= dead) gate = dead + 1.0;
            p.gateSeconds = gate;
            pulse::Callbacks pc;
            std::array<double, 3> rates{};
            std::array<std::int32_t, 3> counts{};
            pc.counted = [&](const pulse::CountResult& r) {
                rates = r.rates;
                counts = r.counts;
            };
            pc.stopRequested = stop;
            const int s = pulse::measure(link, gate, 1, pc);
            if (s == kStatusCancelled || stop()) return finish(kStatusCancelled);
            if (s != 0) return finish(s);
            const size_t input = plan.channel == 1 ? 0 : 1;
            p.pulses = counts[input];
            p.pulseW =
                run.meterConstant > 0 ? rates[input] * kWsPerKwh / run.meterConstant : kNoValue;
        }
        const auto ref = bench.reference(p);
        if (!ref) return finish(kStatusCancelled);
        if (!std::isfinite(*ref) || *ref <= 0) {
            // An error against 0 W, or against no number, is no error at all.
            link.messages().show(evkit::msg::kErrorTitle,
                                 strprintf("The reference power of point %d is %g W: it must be "
                                           "above 0 W to judge the point.",
                                           p.index, *ref));
            return finish(kStatusCancelled);
        }
        p.referenceW = *ref;
        p.powerErrorPct = errorPct(p.powerW, p.referenceW);
        p.pulseErrorPct = errorPct(p.pulseW, p.referenceW);
        run.points.push_back(p);
        if (cb.measured) cb.measured(p, total);
    }
    return finish(0);
}

}  // namespace evkit::metrology
