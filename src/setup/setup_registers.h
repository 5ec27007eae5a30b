#pragma once
// The device's five control and status registers as field values: one decoder per register
// (word to fields) and one packer per editable register (fields to word). Pure functions.
#include <array>
#include <cstdint>

namespace evkit::setup {

struct RegisterRef {
    int page = 0;
    int address = 0;
};

inline constexpr RegisterRef kConfigRegister{0, 0};
inline constexpr RegisterRef kStatusRegister{0, 15};
inline constexpr RegisterRef kMaskRegister{0, 26};
inline constexpr RegisterRef kControlRegister{0, 28};
inline constexpr RegisterRef kOpModeRegister{1, 16};
inline constexpr RegisterRef kCycleCountRegister{1, 19};

// Word the status clear writes: every status bit written as one.
inline constexpr std::uint32_t kStatusClearWord = 0xFFFFFF;

// Configuration register 0:0.
struct ConfigFields {
    int clockDivider = 0;  // K, bits 0..3
    bool bit4 = false;
    int bits11_12 = 0;
    bool bit15 = false;
    int pc1 = 0;  // bits 16..23, signed
    bool operator==(const ConfigFields&) const = default;
};
ConfigFields DecodeConfig(std::uint32_t word);
// Bits 5..10, 13 and 14 come out as 0.
std::uint32_t PackConfig(const ConfigFields& fields);

// Mask register 0:26: bit n in element n.
using MaskBits = std::array<bool, 24>;
MaskBits DecodeMask(std::uint32_t word);
std::uint32_t PackMask(const MaskBits& bits);

// Status register 0:15 as its 24 lamps: lamp n shows bit n, except lamp 0, which is lit
// while bit 0 is clear.
using StatusLamps = std::array<bool, 24>;
StatusLamps DecodeStatus(std::uint32_t word);

// Control register 0:28.
struct ControlFields {
    bool bit1 = false;
    bool bit2 = false;
    bool bit4 = false;
    bool i1Gain = false;  // bit 5
    bool bit8 = false;
    bool i2Gain = false;  // bit 12
    int pc2 = 0;          // bits 16..23, signed
    bool operator==(const ControlFields&) const = default;
};
ControlFields DecodeControl(std::uint32_t word);
// Bits 0, 3, 6, 7, 9..11 and 13..15 come out as 0.
std::uint32_t PackControl(const ControlFields& fields);

// Operational mode register 1:16. Bits 2..3 are edited through one of two rings: ring A
// while the selector (bits 9..10) is 3, ring B otherwise; the other ring is hidden and keeps
// whatever it held.
struct OpModeFields {
    bool afc = false;  // bit 0
    bool bit1 = false;
    int bits2_3A = 0;
    int bits2_3B = 0;
    bool i1Hpf = false;  // bit 5
    bool v1Hpf = false;  // bit 6
    bool i2Hpf = false;  // bit 7
    bool v2Hpf = false;  // bit 8
    int bits9_10 = 0;    // selector
    bool bit12 = false;
    int bits13_14 = 0;
    bool bit15 = false;
    bool bit22 = false;
    bool bit23 = false;
    bool operator==(const OpModeFields&) const = default;
};
inline bool opModeRingAShown(int selector) {
    return selector == 3;
}
// `previous` supplies the value the hidden ring keeps.
OpModeFields DecodeOperationalMode(std::uint32_t word, const OpModeFields& previous);
// Bits 4, 11 and 16..21 come out as 0; bits 2..3 come from the ring the selector shows.
std::uint32_t PackOperationalMode(const OpModeFields& fields);

}  // namespace evkit::setup
