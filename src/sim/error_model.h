#pragma once
// The analogue front end of the virtual converter: the errors a real part has before it is
// calibrated. Each input has a gain error (with a temperature coefficient), a DC offset and
// noise of its own; each current input lags its voltage by a small phase error (a group
// delay, constant in time). The converter's calibration registers act after these errors,
// so its offset and gain calibrations remove offset and gain errors; the phase error has no
// register and stays, visible at low power factors.
#include <array>
#include <cstdint>

namespace evkit::sim {

struct InputErrors {
    double gain = 0.0;           // relative: 0.003 reads 0.3 % high
    double gainTempcoPpm = 0.0;  // change of the gain per kelvin from the reference, ppm
    double offset = 0.0;         // DC offset, fraction of full scale
    double noiseRms = 0.0;       // white noise, fraction of full scale
};

struct ErrorModel {
    std::array<InputErrors, 4> inputs{};    // V1, I1, V2, I2 (sim::Input order)
    std::array<double, 2> phaseErrorDeg{};  // I1 and I2 lag V1 and V2 by this at 50 Hz
    double referenceTemperature = 25.0;     // where the gain errors hold as given
    double dieTemperature = 25.0;           // the part's temperature now
    std::uint64_t seed = 0;                 // of the noise

    bool ideal() const;
    // Relative gain factor of an input at the die temperature (1 + error).
    double gainFactor(int input) const;
    // Delay of an input against its own voltage, seconds (0 for voltages).
    double delaySeconds(int input) const;
};

// Nominal line frequency at which the phase errors are stated.
inline constexpr double kPhaseErrorFrequency = 50.0;

// A plausible uncalibrated part, drawn reproducibly from `seed`: a reference error common to
// all inputs of 0.25 to 0.45 % (sign from the seed) plus up to 0.1 % per input, offsets of
// 0.1 to 0.3 % of full scale, phase errors of 0.2 to 0.4 degrees, noise of 3e-5 of full scale
// and a gain temperature coefficient of 20 to 50 ppm/K.
ErrorModel uncalibratedPart(std::uint64_t seed = 714);

// The largest errors uncalibratedPart can give, for judging measurements of such a part.
struct ErrorBounds {
    double gain = 0.0055;    // relative, per input, at the reference temperature
    double offset = 0.003;   // fraction of full scale
    double phaseDeg = 0.4;   // degrees at 50 Hz
    double noiseRms = 3e-5;  // fraction of full scale
};
inline constexpr ErrorBounds kUncalibratedBounds{};

}  // namespace evkit::sim
