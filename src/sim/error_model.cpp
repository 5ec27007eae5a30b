#include "sim/error_model.h"

#include <cmath>

#include "sim/signal_source.h"

namespace evkit::sim {

namespace {
// Uniform in [0, 1) from the k-th draw of `seed`.
double draw(std::uint64_t seed, std::uint64_t k) {
    return static_cast<double>(splitmix64(seed * 0x100000001B3ull + k) >> 11) * 0x1.0p-53;
}
double between(std::uint64_t seed, std::uint64_t k, double lo, double hi) {
    return lo + (hi - lo) * draw(seed, k);
}
double sign(std::uint64_t seed, std::uint64_t k) {
    return draw(seed, k) < 0.5 ? -1.0 : 1.0;
}
}  // namespace

bool ErrorModel::ideal() const {
    for (const auto& in : inputs)
        if (in.gain != 0 || in.gainTempcoPpm != 0 || in.offset != 0 || in.noiseRms != 0)
            return false;
    return phaseErrorDeg[0] == 0 && phaseErrorDeg[1] == 0;
}

double ErrorModel::gainFactor(int input) const {
    const auto& in = inputs[static_cast<size_t>(input)];
    return 1.0 + in.gain + in.gainTempcoPpm * 1e-6 * (dieTemperature - referenceTemperature);
}

double ErrorModel::delaySeconds(int input) const {
    if (input != 1 && input != 3) return 0.0;  // I1 and I2
    return phaseErrorDeg[static_cast<size_t>(input / 2)] / (360.0 * kPhaseErrorFrequency);
}

ErrorModel uncalibratedPart(std::uint64_t seed) {
    ErrorModel m;
    m.seed = seed;
    // The converter's reference scales every input alike; each input adds a little of its own.
    const double reference = sign(seed, 0) * between(seed, 1, 0.0025, 0.0045);
    std::uint64_t k = 2;
    for (auto& in : m.inputs) {
        in.gain = reference + between(seed, k++, -0.001, 0.001);
        const double offsetSign = sign(seed, k++);
        in.offset = offsetSign * between(seed, k++, 0.001, 0.003);
        in.noiseRms = 3e-5;
        in.gainTempcoPpm = between(seed, k++, 20.0, 50.0);
    }
    // Current transformers and anti-alias filters make the current lag.
    for (auto& p : m.phaseErrorDeg) p = between(seed, k++, 0.2, 0.4);
    return m;
}

}  // namespace evkit::sim
