#pragma once
// Firmware of the conversion stream: after 0xF9 one 60-byte result record per computation
// cycle until 0xA0; after 0xFB one group of records; power commands 0xB0/0x90 halt it.
// While the AFC flag is set the epsilon register follows the measured line frequency; the
// Tmeas register counts down to 0, one step per computation cycle.
#include <memory>

#include "sim/virtual_board.h"

namespace evkit::sim {

// Records of one single-run group (0xFB).
constexpr int kSingleGroupRecords = 1000;

std::unique_ptr<FirmwareModule> makeConversionStreamModule();

}  // namespace evkit::sim
