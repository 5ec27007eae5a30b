#include "sim/signal_source.h"

#include <cmath>
#include <numbers>

namespace evkit::sim {

std::uint64_t splitmix64(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

namespace {
double unit(std::uint64_t bits) {
    return (static_cast<double>(bits >> 11) + 0.5) * 0x1.0p-53;
}
}  // namespace

SignalSource::SignalSource() {
    // A plausible load: voltage 60 % of full scale, current 40 % lagging by 30 degrees on
    // channel 1 and 25 % lagging by 60 degrees on channel 2, with a little distortion,
    // noise and DC offset so that calibrations have something to remove.
    inputs[kV1] = {0.60, 0.0, 0.0020, 0.010, 0.005, 2e-5};
    inputs[kI1] = {0.40, -30.0, 0.0030, 0.020, 0.010, 2e-5};
    inputs[kV2] = {0.55, 0.0, -0.0015, 0.010, 0.005, 2e-5};
    inputs[kI2] = {0.25, -60.0, 0.0025, 0.020, 0.010, 2e-5};
}

double SignalSource::gaussian(std::uint64_t stream, std::uint64_t n) const {
    const std::uint64_t base = splitmix64(seed ^ (stream * 0xD1B54A32D192ED03ull)) ^ n;
    const double u1 = unit(splitmix64(base * 2));
    const double u2 = unit(splitmix64(base * 2 + 1));
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

void InputSignal::makeClean() {
    dcOffset = harmonic3 = harmonic5 = noiseRms = 0.0;
    harmonic3PhaseDeg = harmonic5PhaseDeg = 0.0;
    others = {};
}

bool InputSignal::setHarmonic(int order, double ratio, double phaseDeg) {
    if (order == 3) {
        harmonic3 = ratio;
        harmonic3PhaseDeg = phaseDeg;
        return true;
    }
    if (order == 5) {
        harmonic5 = ratio;
        harmonic5PhaseDeg = phaseDeg;
        return true;
    }
    Harmonic* slot = nullptr;
    for (auto& h : others)
        if (h.order == order) slot = &h;
    for (auto& h : others)
        if (!slot && h.order == 0) slot = &h;
    if (!slot) return false;
    *slot = ratio == 0.0 ? Harmonic{} : Harmonic{order, ratio, phaseDeg};
    return true;
}

double SignalSource::value(Input input, double t, std::uint64_t n) const {
    const InputSignal& s = inputs[static_cast<size_t>(input)];
    const double w = 2.0 * std::numbers::pi * lineFrequency;
    constexpr double kRad = std::numbers::pi / 180.0;
    const double a = w * t + s.phaseDeg * kRad;
    double v = std::sin(a);
    if (s.harmonic3 != 0.0) v += s.harmonic3 * std::sin(3.0 * a + s.harmonic3PhaseDeg * kRad);
    if (s.harmonic5 != 0.0) v += s.harmonic5 * std::sin(5.0 * a + s.harmonic5PhaseDeg * kRad);
    for (const auto& h : s.others)
        if (h.order > 0) v += h.ratio * std::sin(h.order * a + h.phaseDeg * kRad);
    v = s.amplitude * v + s.dcOffset;
    if (s.noiseRms > 0) v += s.noiseRms * gaussian(static_cast<std::uint64_t>(input), n);
    return v;
}

}  // namespace evkit::sim
