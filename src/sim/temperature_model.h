#pragma once
// The converter's temperature result for the virtual board.
//
// The sensor gives a reading s proportional to the die temperature; the converter turns it
// into T = 833.333 / (128 g) * s + 833.333 * o, with g the temperature gain register 1:22
// (signed, 7 integer bits) and o the temperature offset register 1:23 (signed fraction):
// the temperature window's gain value is the slope and its offset value the intercept.
// With the power-on registers (g = 16, o = 0) the result is kDieTemperature.
// The result word (computed results, word 16) has 8 integer bits, signed, saturated.
#include <cstdint>

#include "sim/device_model.h"

namespace evkit::sim {

inline constexpr double kDieTemperature = 25.0;

// Temperature in degrees from the registers (saturated to the result format's range).
double temperatureDegrees(const DeviceModel& device);
// The 24-bit result word of the temperature.
std::uint32_t temperatureWord(const DeviceModel& device);

}  // namespace evkit::sim
