#pragma once
// The analogue inputs of the virtual board: V1, I1, V2, I2 as functions of time, in units of
// the converter's full scale (1.0 = full-scale code). Deterministic: the noise of sample n of
// a channel depends only on (seed, channel, n).
#include <array>
#include <cstdint>

namespace evkit::sim {

enum Input : int { kV1 = 0, kI1 = 1, kV2 = 2, kI2 = 3 };

// A harmonic of an order other than 3 and 5: its amplitude relative to the fundamental and
// its phase (degrees, in the harmonic's own angle, added to order x the fundamental's phase).
struct Harmonic {
    int order = 0;  // 0: unused
    double ratio = 0.0;
    double phaseDeg = 0.0;
};
inline constexpr int kMaxOtherHarmonics = 8;
inline constexpr int kMaxHarmonicOrder = 31;

struct InputSignal {
    double amplitude = 0.5;  // peak, fraction of full scale
    double phaseDeg = 0.0;   // phase of the fundamental
    double dcOffset = 0.0;   // fraction of full scale
    double harmonic3 = 0.0;  // third harmonic, relative to the fundamental
    double harmonic5 = 0.0;  // fifth harmonic, relative to the fundamental
    double noiseRms = 0.0;   // white noise, fraction of full scale
    double harmonic3PhaseDeg = 0.0;
    double harmonic5PhaseDeg = 0.0;
    std::array<Harmonic, kMaxOtherHarmonics> others{};

    // Removes the harmonics, the DC offset and the noise: a pure sine.
    void makeClean();
    // Ratio and phase of harmonic `order` (2..31); false when no slot is left for it.
    bool setHarmonic(int order, double ratio, double phaseDeg);
};

// The mixing function of the virtual board's reproducible random numbers.
std::uint64_t splitmix64(std::uint64_t x);

struct SignalSource {
    SignalSource();
    double lineFrequency = 50.0;  // Hz
    std::uint64_t seed = 714;
    std::array<InputSignal, 4> inputs;

    // Instantaneous value of an input at time t (seconds) for sample number n (noise index).
    double value(Input input, double t, std::uint64_t n) const;
    // Deterministic standard normal deviate for (seed, stream, n).
    double gaussian(std::uint64_t stream, std::uint64_t n) const;
};

}  // namespace evkit::sim
