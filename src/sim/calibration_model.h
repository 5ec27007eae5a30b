#pragma once
// The converter's calibration registers (page 1, addresses 0..13) and what they do to the
// virtual board's measurements.
//
// Per input: the DC offset register (signed fraction) is added to the input and the gain
// register (2 integer bits, unsigned, 0x400000 = 1.0) multiplies the result; both feed
// DeviceModel::correction, so every sample stream, computed result and pulse sees them.
// The AC offset register (signed fraction a) adds a * 2^-16 (full scale squared) to the mean
// square from which the RMS results are computed: use acOffsetMeanSquare / reportedRms.
//
// Calibration commands (0x80 + type + channels) act over one computation cycle of samples
// (the cycle count register 1:19, at the word rate) taken when the command arrives:
// - DC offset: the offset register becomes minus the input's mean;
// - AC offset: the register cancels the mean square the input's noise adds (the converter
//   expects no signal during this calibration; the virtual inputs always carry theirs);
// - gain: the gain register is set so that the channel's reported RMS equals
//   kGainCalibrationTargetRms, the RMS of a sine of 0.6 of full scale.
#include <cstdint>
#include <memory>

#include "sim/device_model.h"

namespace evkit::sim {

class FirmwareModule;

// Target RMS of a gain calibration, in full-scale units: 0.6 / sqrt(2).
inline constexpr double kGainCalibrationTargetRms = 0.42426406871192851;
// Scale of the AC offset register: its signed fraction times this is a mean square.
inline constexpr double kAcOffsetScale = 1.0 / 65536.0;

// One computation cycle of samples from time `now`: sample numbers first .. first+count-1
// at `rate` words per second (4000 when the clock divider is 0; at most 65536 samples).
struct CycleWindow {
    std::uint64_t first;
    int count;
    double rate;
    double time(std::uint64_t n) const { return static_cast<double>(n) / rate; }
};
CycleWindow cycleWindow(const DeviceModel& device, double now);

// Calibration register addresses (page 1) of an input.
struct CalibrationAddresses {
    int dcOffset, gain, acOffset;
};
CalibrationAddresses calibrationAddresses(Input input);

// Sets DeviceModel::correction from the calibration registers.
void applyCalibrationRegisters(DeviceModel& device);

// The mean square the AC offset register adds to an input's RMS computation.
double acOffsetMeanSquare(const DeviceModel& device, Input input);
// RMS the converter reports for a mean square of corrected samples (never negative).
double reportedRms(const DeviceModel& device, Input input, double meanSquare);

// Runs a calibration command byte on the device; false when the byte is no calibration.
bool runCalibrationCommand(DeviceModel& device, int commandByte, double now);

// The firmware module: calibration commands and register writes of 1:0 .. 1:13.
std::unique_ptr<FirmwareModule> makeCalibrationModule();

}  // namespace evkit::sim
