#pragma once
// Engineering units: what the device's full-scale fractions mean in volts, amperes, watts,
// vars and volt-amperes on a given board, and the meter constant of the pulse outputs.
//
// A channel pair's scaling is the voltage and the current at the inputs' full scale (the
// instantaneous value that gives the full-scale code, as the board's divider and shunt or
// current transformer make it). A result v of the device then stands for v x V_fs (RMS and
// peak voltages), v x I_fs (currents) or v x V_fs x I_fs (powers).
#include <array>
#include <optional>
#include <string>

#include "board/board_link.h"
#include "conversion/record.h"

namespace evkit::metrology {

struct ChannelScaling {
    double volts = 400.0;   // voltage input at full scale, V
    double amperes = 20.0;  // current input at full scale, A
    bool operator==(const ChannelScaling&) const = default;
};

struct Scaling {
    std::array<ChannelScaling, 2> channel{};  // channel pair 1 and 2
    // Pulses per kWh of the pulse outputs; 0: derived from the pulse rate register with
    // pulsesPerKwhFromRate (the rate register's value is the pulse rate at a tenth of
    // full-scale power).
    double meterConstant = 0.0;
    bool operator==(const Scaling&) const = default;
};

// Full-scale power of a channel pair, W.
inline double fullScalePower(const Scaling& s, int channel) {
    const auto& c = s.channel[static_cast<size_t>(channel - 1)];
    return c.volts * c.amperes;
}

// Meter constant (pulses per kWh) of a pulse output whose rate register reads `ratePerSecond`
// (register value / 4) at a tenth of full-scale power of `channel`.
double pulsesPerKwhFromRate(const Scaling& s, int channel, double ratePerSecond);

// Pulses per kWh of the three pulse inputs (channel 1, channel 2, their sum): the scaling's
// meter constant, or, when it is 0, from the pulse rate register 1:14 (read from the board;
// 0 for every input when the read fails).
std::array<double, 3> pulseMeterConstants(BoardLink& link, const Scaling& s);
// Watts of a pulse rate (pulses per second) at a meter constant.
inline double pulsePowerW(double ratePerSecond, double pulsesPerKwh) {
    return pulsesPerKwh > 0 ? ratePerSecond * 3.6e6 / pulsesPerKwh : 0.0;
}

// The unit of a monitor quantity ("V", "A", "W", "var", "VA"), or nullptr when it has none
// (power factors, temperature, the three further results).
const char* unitOf(conversion::Quantity q);
// A device value of `q` in its unit (the value itself when it has none).
double inUnits(conversion::Quantity q, double deviceValue, const Scaling& s);
// The result key with its unit: "V1RMS_V", "Q1AVG_var"; empty when the quantity has none.
std::string unitKey(conversion::Quantity q);

// Scaling files ("key = value" lines, '#' comments): scale-v1, scale-i1, scale-v2, scale-i2,
// meter-constant. Keys left out keep the value of `base`. nullopt (error set, with the line
// number) for an unknown key, a value that is not a positive number, or an unreadable file.
std::optional<Scaling> parseScalingText(const std::string& text, const Scaling& base,
                                        std::string* error);
std::optional<Scaling> readScalingFile(const std::string& path, const Scaling& base,
                                       std::string* error);
std::string scalingText(const Scaling& s);

// The saved scaling beside the USB ID: <configuration folder>/evkit714/scaling. Empty when no
// home directory is known.
std::string scalingConfigPath();
// The saved scaling over the defaults (the defaults when there is no file; a broken file
// gives the defaults and says why in `problem`).
Scaling savedScaling(std::string* problem = nullptr);
// Saves as the configuration (folder created when missing); false with `error` set.
bool saveScaling(const Scaling& s, std::string* error = nullptr);

// One setting by its key (as in the files: "scale-v1" ...); false for an unknown key or a
// value that is not a positive finite number (meter-constant also takes 0).
bool setScalingValue(Scaling& s, const std::string& key, double value, std::string* error);

}  // namespace evkit::metrology
