#pragma once
// Energy pulses of the virtual board for the timed measurement (command 246).
//
// Input 1 pulses with channel 1's active energy, input 2 with channel 2's, input 3 with
// their sum. The frequency is f = R * |P| / 0.1, where R is the pulse rate register 1:14
// (word / 4, pulses per second at an active power of 0.1 of full scale) and P the mean of
// v * i over one computation cycle of corrected inputs (full-scale units). The converter
// counts only after two computation cycles of the gate (2N / word rate), and a pulse
// output keeps its phase from one gate to the next, so successive counts differ by one at
// most and c / (T - 2N/4000) gives back f at the usual word rate of 4000/s.
#include <array>
#include <memory>

#include "sim/device_model.h"

namespace evkit::sim {

class FirmwareModule;

inline constexpr double kPulseReferencePower = 0.1;

// Pulse frequencies of inputs 1, 2, 3 (pulses per second) at time `now`.
std::array<double, 3> pulseFrequencies(const DeviceModel& device, double now);

std::unique_ptr<FirmwareModule> makePulseModule();

}  // namespace evkit::sim
