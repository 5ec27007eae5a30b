#pragma once
// The converter inside the virtual board: its paged register file with power-on defaults,
// its analogue inputs and its board EEPROM.
#include <array>
#include <cstdint>
#include <map>

#include "sim/error_model.h"
#include "sim/signal_source.h"
#include "sim/variants.h"

namespace evkit::sim {

// Power-on temperature gain word (g = 16.0): a down-scale setting, so that the up scale
// (x 1.8) lies above the window's scale indicator threshold, as on a real device.
inline constexpr std::uint32_t kPowerOnTemperatureGain = 0x200000;

class DeviceModel {
  public:
    explicit DeviceModel(const Variant& variant);

    const Variant& variant() const { return variant_; }
    // Registers hold 24-bit words, except the 4-byte identification word at 65:0.
    std::uint32_t reg(int page, int address) const;
    void setReg(int page, int address, std::uint32_t word);
    // A write from the bus: address 31 selects the page; the status register clears the
    // bits written as one (its identification bits stay).
    void busWrite(int address, std::uint32_t word);
    std::uint32_t busRead(int address) const { return reg(page, address); }
    // Restores every register to its power-on value (device command 0xF4).
    void powerOn();

    // Clock divider K (configuration bits 0..3) and the output word rate.
    int clockDivider() const { return static_cast<int>(reg(0, 0) & 0xF); }
    double wordRate() const;  // words per second, 0 when K = 0

    // What the converter makes of an analogue input after its own correction: every
    // measurement of the virtual board (sample streams, computed results, pulses) goes
    // through here, so calibration registers act on all of them alike.
    struct InputCorrection {
        double offset = 0.0;  // added to the input (full-scale units)
        double gain = 1.0;    // multiplies the offset-corrected input
    };
    std::array<InputCorrection, 4> correction;
    double input(Input which, double t, std::uint64_t n) const {
        const auto& c = correction[static_cast<size_t>(which)];
        return c.gain * (raw(which, t, n) + c.offset);
    }
    // An input as the converter's front end delivers it, before any correction: the source
    // through the error model (the source itself when the model is ideal).
    double raw(Input which, double t, std::uint64_t n) const;
    // The front end's own noise of an input at sample n (fraction of full scale).
    double frontEndNoise(Input which, std::uint64_t n) const;

    int page = 0;
    double xtalMHz = 4.096;
    SignalSource signal;
    ErrorModel errors;  // ideal unless set
    std::array<std::uint8_t, 256> eeprom{};

  private:
    const Variant& variant_;
    std::map<int, std::array<std::uint32_t, 32>> pages_;
};

}  // namespace evkit::sim
