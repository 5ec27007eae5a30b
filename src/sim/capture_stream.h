#pragma once
// Data collection firmware of the virtual board: command 248 streams the instantaneous values
// of two registers as 24-bit codes, one pair per word period, in 60-byte packets.
#include <cstdint>
#include <memory>

#include "sim/virtual_board.h"

namespace evkit::sim {

// Instantaneous value of the quantity behind a register read byte, in full-scale units:
// 2 / 4 current / voltage 1, 14 / 16 current / voltage 2, 6 / 28 active / reactive power 1,
// 18 / 34 active / reactive power 2. Powers are products of the corrected inputs (reactive:
// the voltage a quarter line period earlier times the current). Other registers hold still:
// their stored page-0 word, as a signed fraction of full scale.
double instantaneousQuantity(const DeviceModel& device, std::uint8_t readByte, double t,
                             std::uint64_t n);

// Full-scale fraction to a 24-bit code (x 8388608, rounded, clipped to the code range).
std::int32_t toCode(double fraction);

std::unique_ptr<FirmwareModule> makeCaptureStreamModule();

}  // namespace evkit::sim
