#include "metrology/source_settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>
#include <sstream>
#include <vector>

#include "metrology/text_file.h"
#include "sim/calibration_model.h"
#include "support/format.h"

namespace evkit::metrology {

namespace {

constexpr double kRad = std::numbers::pi / 180.0;

bool number(const std::string& text, double* out, std::string* rest) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || !std::isfinite(v)) return false;
    *out = v;
    *rest = upper(std::string(end));
    return true;
}

// Input index of "V1", "I1", "V2", "I2"; -1 otherwise.
int inputOf(const std::string& name) {
    static const std::map<std::string, int> m = {
        {"V1", sim::kV1}, {"I1", sim::kI1}, {"V2", sim::kV2}, {"I2", sim::kI2}};
    const auto it = m.find(name);
    return it == m.end() ? -1 : it->second;
}

bool isCurrent(int input) {
    return input == sim::kI1 || input == sim::kI2;
}

double fullScaleOf(const Scaling& s, int input) {
    const auto& c = s.channel[static_cast<size_t>(input / 2)];
    return isCurrent(input) ? c.amperes : c.volts;
}

// A voltage or current in units (V, mV, A, mA, or none), in FS or %FS: as a fraction of
// full scale.
bool level(const std::string& text, int input, const Scaling& s, double* fraction,
           std::string* error) {
    double v = 0;
    std::string unit;
    const std::string u = isCurrent(input) ? "A" : "V";
    if (number(text, &v, &unit)) {
        const double fs = fullScaleOf(s, input);
        if (unit == "FS") return *fraction = v, true;
        if (unit == "%FS") return *fraction = v / 100.0, true;
        if (unit.empty() || unit == u) return *fraction = v / fs, true;
        if (unit == "M" + u) return *fraction = v / 1000.0 / fs, true;
    }
    *error = "'" + text + "' is not a " + (isCurrent(input) ? "current" : "voltage") + " (" + u +
             ", m" + u + ", FS or %FS)";
    return false;
}

struct HarmonicTerm {
    int order;
    double ratio, phaseDeg;
};

std::vector<HarmonicTerm> harmonicsOf(const sim::InputSignal& in) {
    std::vector<HarmonicTerm> out;
    if (in.harmonic3 != 0) out.push_back({3, in.harmonic3, in.harmonic3PhaseDeg});
    if (in.harmonic5 != 0) out.push_back({5, in.harmonic5, in.harmonic5PhaseDeg});
    for (const auto& h : in.others)
        if (h.order > 0 && h.ratio != 0) out.push_back({h.order, h.ratio, h.phaseDeg});
    return out;
}

}  // namespace

double phaseOfPowerFactor(double pf, bool capacitive) {
    const double phi = std::acos(std::clamp(pf, -1.0, 1.0)) / kRad;
    return capacitive ? phi : -phi;
}

void setSinePoint(sim::SignalSource& source, const Scaling& scaling, int channel, double volts,
                  double amperes, double phiDeg, double hz) {
    const int v = 2 * (channel - 1), i = v + 1;
    auto& V = source.inputs[static_cast<size_t>(v)];
    auto& I = source.inputs[static_cast<size_t>(i)];
    V.makeClean();
    I.makeClean();
    V.amplitude = std::sqrt(2.0) * volts / fullScaleOf(scaling, v);
    I.amplitude = std::sqrt(2.0) * amperes / fullScaleOf(scaling, i);
    I.phaseDeg = V.phaseDeg + phiDeg;
    source.lineFrequency = hz;
}

bool applySourceSettings(const std::string& settings, const Scaling& scaling,
                         sim::SignalSource& source, sim::ErrorModel& errors, std::string* error) {
    sim::SignalSource s = source;
    sim::ErrorModel e = errors;
    std::vector<std::string> words;
    {
        std::istringstream in(settings);
        for (std::string w; in >> w;) words.push_back(w);
    }
    std::string why;
    const auto fail = [&](const std::string& text) {
        if (error) *error = text;
        return false;
    };
    // Levels first: they program a channel afresh, and what else the text says about it is
    // added to the fresh channel whatever the order of the words.
    std::vector<std::pair<std::string, std::string>> rest;
    for (const auto& w : words) {
        const std::string W = upper(w);
        if (W == "CLEAN") {
            for (auto& in : s.inputs) in.makeClean();
            continue;
        }
        if (W == "ZERO") {
            for (auto& in : s.inputs) {
                in.makeClean();
                in.amplitude = 0.0;
            }
            continue;
        }
        if (W == "CAL") {
            for (auto& in : s.inputs) {
                in.makeClean();
                in.amplitude = sim::kGainCalibrationTargetRms * std::sqrt(2.0);
                in.phaseDeg = 0.0;
            }
            continue;
        }
        const auto eq = w.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == w.size())
            return fail("'" + w + "' is not KEY=VALUE, clean, zero or cal");
        const std::string key = upper(w.substr(0, eq)), value = w.substr(eq + 1);
        if (const int input = inputOf(key); input >= 0) {
            double fraction = 0;
            if (!level(value, input, scaling, &fraction, &why)) return fail(why);
            if (fraction < 0 || fraction > 1.0)
                return fail("'" + w + "': the RMS level must lie between 0 and full scale");
            auto& in = s.inputs[static_cast<size_t>(input)];
            in.makeClean();
            in.amplitude = fraction * std::sqrt(2.0);
            continue;
        }
        rest.emplace_back(key, value);
    }
    for (const auto& [key, value] : rest) {
        const std::string w = key + "=" + value;
        double v = 0;
        std::string unit;
        if (key == "F") {
            if (!number(value, &v, &unit) || !(unit.empty() || unit == "HZ") || v <= 0 || v > 1000)
                return fail("'" + w + "': the line frequency must lie above 0 and up to 1000 Hz");
            s.lineFrequency = v;
        } else if (key == "PF" || key == "PF1" || key == "PF2") {
            if (!number(value, &v, &unit) || v <= 0 || v > 1 ||
                !(unit == "L" || unit == "C" || (unit.empty() && v == 1)))
                return fail("'" + w + "': a power factor is 0..1 followed by L or C (1 alone)");
            const double phi = phaseOfPowerFactor(v, unit == "C");
            for (int c = 1; c <= 2; ++c)
                if (key == "PF" || key == "PF" + std::to_string(c))
                    s.inputs[static_cast<size_t>(2 * c - 1)].phaseDeg =
                        s.inputs[static_cast<size_t>(2 * c - 2)].phaseDeg + phi;
        } else if (key == "PHI" || key == "PHI1" || key == "PHI2") {
            if (!number(value, &v, &unit) || !(unit.empty() || unit == "DEG") || std::fabs(v) > 360)
                return fail("'" + w + "': a phase is in degrees, -360..360");
            for (int c = 1; c <= 2; ++c)
                if (key == "PHI" || key == "PHI" + std::to_string(c))
                    s.inputs[static_cast<size_t>(2 * c - 1)].phaseDeg =
                        s.inputs[static_cast<size_t>(2 * c - 2)].phaseDeg + v;
        } else if (key == "TEMP") {
            if (!number(value, &v, &unit) || !(unit.empty() || unit == "C") || v < -40 || v > 125)
                return fail("'" + w + "': the die temperature lies between -40 and 125 C");
            e.dieTemperature = v;
        } else if (key.size() > 2 && inputOf(key.substr(0, 2)) >= 0) {
            const int input = inputOf(key.substr(0, 2));
            auto& in = s.inputs[static_cast<size_t>(input)];
            const std::string what = key.substr(2);
            if (what == "DC" || what == "NOISE") {
                double fraction = 0;
                if (!level(value, input, scaling, &fraction, &why)) return fail(why);
                if (std::fabs(fraction) > 1 || (what == "NOISE" && fraction < 0))
                    return fail("'" + w + "' lies beyond full scale");
                (what == "DC" ? in.dcOffset : in.noiseRms) = fraction;
            } else if (what[0] == 'H' && what.size() > 1 &&
                       std::all_of(what.begin() + 1, what.end(), [](char c) {
                           return std::isdigit(static_cast<unsigned char>(c));
                       })) {
                const int order = std::atoi(what.c_str() + 1);
                if (order < 2 || order > sim::kMaxHarmonicOrder)
                    return fail("'" + w + "': harmonics are of order 2..31");
                const auto at = value.find('@');
                double phase = 0;
                std::string ratioText = value.substr(0, at), phaseUnit;
                if (at != std::string::npos &&
                    (!number(value.substr(at + 1), &phase, &phaseUnit) || !phaseUnit.empty()))
                    return fail("'" + w + "': the phase after @ is in degrees");
                if (!number(ratioText, &v, &unit) || !(unit.empty() || unit == "%") || v < 0)
                    return fail("'" + w + "': a harmonic is a ratio or a percentage");
                if (unit == "%") v /= 100.0;
                if (v > 1) return fail("'" + w + "': a harmonic is at most the fundamental");
                if (!in.setHarmonic(order, v, phase))
                    return fail("'" + w + "': at most " + std::to_string(sim::kMaxOtherHarmonics) +
                                " harmonics besides the 3rd and 5th per input");
            } else {
                return fail("unknown key '" + key + "'");
            }
        } else {
            return fail("unknown key '" + key + "'");
        }
    }
    source = s;
    errors = e;
    return true;
}

ExactReadings exactReadings(const sim::SignalSource& source, const Scaling& scaling, int channel) {
    const auto& V = source.inputs[static_cast<size_t>(2 * channel - 2)];
    const auto& I = source.inputs[static_cast<size_t>(2 * channel - 1)];
    const auto& c = scaling.channel[static_cast<size_t>(channel - 1)];
    const auto hv = harmonicsOf(V), hi = harmonicsOf(I);
    const auto meanSquare = [](const sim::InputSignal& in, const std::vector<HarmonicTerm>& h) {
        double sum = 1.0;
        for (const auto& t : h) sum += t.ratio * t.ratio;
        return in.amplitude * in.amplitude / 2.0 * sum + in.dcOffset * in.dcOffset +
               in.noiseRms * in.noiseRms;
    };
    const double d = (V.phaseDeg - I.phaseDeg) * kRad;
    double p = std::cos(d), q = std::sin(d);
    for (const auto& a : hv)
        for (const auto& b : hi)
            if (a.order == b.order) {
                const double dh = a.order * d + (a.phaseDeg - b.phaseDeg) * kRad;
                p += a.ratio * b.ratio * std::cos(dh);
                q += a.ratio * b.ratio * std::cos(dh - a.order * std::numbers::pi / 2.0);
            }
    const double k = V.amplitude * I.amplitude / 2.0;
    ExactReadings r;
    r.vrms = std::sqrt(meanSquare(V, hv)) * c.volts;
    r.irms = std::sqrt(meanSquare(I, hi)) * c.amperes;
    const double dc = V.dcOffset * I.dcOffset;
    r.p = (k * p + dc) * c.volts * c.amperes;
    r.q = (k * q + dc) * c.volts * c.amperes;
    r.s = r.vrms * r.irms;
    r.pf = r.s > 0 ? r.p / r.s : 0.0;
    return r;
}

std::string describeSource(const sim::SignalSource& source, const Scaling& scaling) {
    std::string out = strprintf("f=%g", source.lineFrequency);
    static const char* names[4] = {"V1", "I1", "V2", "I2"};
    for (int input = 0; input < 4; ++input) {
        const auto& in = source.inputs[static_cast<size_t>(input)];
        const double rms = in.amplitude / std::sqrt(2.0) * fullScaleOf(scaling, input);
        out += strprintf(" %s=%g%s", names[input], rms, isCurrent(input) ? "A" : "V");
        if (isCurrent(input))
            out += strprintf(" PHI%d=%g", input / 2 + 1,
                             in.phaseDeg - source.inputs[static_cast<size_t>(input - 1)].phaseDeg);
        for (const auto& h : harmonicsOf(in))
            out += strprintf(" %sH%d=%g%%@%g", names[input], h.order, h.ratio * 100, h.phaseDeg);
        if (in.dcOffset != 0) out += strprintf(" %sDC=%gFS", names[input], in.dcOffset);
        if (in.noiseRms != 0) out += strprintf(" %sNOISE=%gFS", names[input], in.noiseRms);
    }
    return out;
}

}  // namespace evkit::metrology

#include "board/tracing_transport.h"
#include "sim/virtual_board.h"

namespace evkit::metrology {

sim::VirtualBoard* virtualBoardOf(F32x& transport) {
    if (auto* tracing = dynamic_cast<TracingTransport*>(&transport))
        return virtualBoardOf(tracing->inner());
    return dynamic_cast<sim::VirtualBoard*>(&transport);
}

}  // namespace evkit::metrology
