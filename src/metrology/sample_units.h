#pragma once
// Captured samples in volts, amperes, watts or vars through the scaling: a CSV of one
// channel beside the sample export, which keeps its format.
//
// A sample code c of a capture with full-scale code `range` (2^23 for a board capture, the
// file's value after a file read) is the fraction c / range of full scale, the fraction the
// spectrum's full-scale sine is measured against; the scaling gives full scale in units.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "collection/capture.h"
#include "metrology/scaling.h"

namespace evkit::metrology {

// What the samples of one captured channel stand for.
struct SampleUnit {
    std::string channel;     // the channel button's label: "Voltage 1", "Active Power 2"
    const char* unit = "";   // "V", "A", "W" or "var"
    double fullScale = 0.0;  // the value of a full-scale sample in that unit
};

// The unit of the channel read with command byte `readByte` (the quantity pairs' channel1 /
// channel2 bytes): V and A through the pair's voltage or current at full scale, W and var
// through their product. nullopt for any other byte.
std::optional<SampleUnit> sampleUnitOf(std::uint8_t readByte, const Scaling& s);

// A sample code in the unit: code / range x fullScale.
inline double sampleInUnits(std::int32_t code, std::int32_t range, double fullScale) {
    return static_cast<double>(code) / static_cast<double>(range) * fullScale;
}

// The CSV: a comment line naming the channel, its unit, the full scale and the sample rate,
// the header "index,code,value_<unit>", then one line "index,code,value" per sample (index
// from 1, the value with six decimals).
std::string samplesInUnitsCsv(const SampleUnit& unit, std::int32_t range, double fs,
                              std::span<const std::int32_t> codes);

// Channel `channel` (1 or 2) of the last board capture of `data` as that CSV, written whole
// or not at all. False, with `error` set, when no block has been captured, the block came
// from a capture file (which does not say what quantity it holds), the channel carries no
// unit, or the file could not be written.
bool writeSamplesInUnits(const std::string& path, const collection::DataCollection& data,
                         int channel, const Scaling& s, std::string* error);

}  // namespace evkit::metrology
