#include "sim/temperature_model.h"

#include <algorithm>
#include <cmath>

#include "registers/conversions.h"

namespace evkit::sim {

namespace {
constexpr double kScale = 833.333;
constexpr double kDivisor = 128.0;
constexpr double kMax = 128.0 - 0x1.0p-16;  // result format: 8 integer bits, signed
constexpr double kMin = -128.0;
// The sensor reading that the power-on registers turn into kDieTemperature.
constexpr double kPowerOnGain = kPowerOnTemperatureGain / 131072.0;  // 7 integer bits
constexpr double kReading = kDieTemperature * kDivisor * kPowerOnGain / kScale;
}  // namespace

double temperatureDegrees(const DeviceModel& device) {
    const double g = Hex_to_Decimal(static_cast<std::int32_t>(device.reg(1, 22)), 7, 1);
    const double o = Hex_to_TwosComp(static_cast<std::int32_t>(device.reg(1, 23)));
    // A gain of 0 would divide by zero: the converter saturates.
    const double t = g == 0.0 ? kMax : kScale / (kDivisor * g) * kReading + kScale * o;
    return std::clamp(t, kMin, kMax);
}

std::uint32_t temperatureWord(const DeviceModel& device) {
    // Nearest step of 2^-16, as the converter rounds its result.
    const auto code = std::lround(temperatureDegrees(device) * 65536.0);
    return static_cast<std::uint32_t>(code) & 0xFFFFFFu;
}

}  // namespace evkit::sim
