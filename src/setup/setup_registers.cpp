#include "setup/setup_registers.h"

#include <cstddef>

namespace evkit::setup {

namespace {

constexpr std::uint32_t kWordMask = 0xFFFFFF;

bool bit(std::uint32_t word, int n) {
    return ((word >> n) & 1u) != 0;
}
int bits(std::uint32_t word, int low, int width) {
    return static_cast<int>((word >> low) & ((1u << width) - 1u));
}
// Bits 16..23 as a signed 8-bit value.
int signedByte(std::uint32_t word) {
    return static_cast<std::int8_t>((word >> 16) & 0xFF);
}
// A field value placed at its position; masked to its width so it cannot spill into the
// neighbouring fields (a negative signed byte becomes its two's complement).
std::uint32_t place(int value, int low, int width) {
    return (static_cast<std::uint32_t>(value) & ((1u << width) - 1u)) << low;
}
std::uint32_t place(bool value, int n) {
    return value ? 1u << n : 0u;
}

}  // namespace

ConfigFields DecodeConfig(std::uint32_t word) {
    word &= kWordMask;
    ConfigFields f;
    f.clockDivider = bits(word, 0, 4);
    f.bit4 = bit(word, 4);
    f.bits11_12 = bits(word, 11, 2);
    f.bit15 = bit(word, 15);
    f.pc1 = signedByte(word);
    return f;
}

std::uint32_t PackConfig(const ConfigFields& f) {
    return place(f.pc1, 16, 8) | place(f.bit15, 15) | place(f.bits11_12, 11, 2) | place(f.bit4, 4) |
           place(f.clockDivider, 0, 4);
}

MaskBits DecodeMask(std::uint32_t word) {
    MaskBits b{};
    for (int n = 0; n < 24; ++n) b[static_cast<std::size_t>(n)] = bit(word, n);
    return b;
}

std::uint32_t PackMask(const MaskBits& b) {
    std::uint32_t word = 0;
    for (int n = 23; n >= 0; --n) word = (word << 1) | (b[static_cast<std::size_t>(n)] ? 1u : 0u);
    return word;
}

StatusLamps DecodeStatus(std::uint32_t word) {
    StatusLamps lamps = DecodeMask(word);
    lamps[0] = !lamps[0];
    return lamps;
}

ControlFields DecodeControl(std::uint32_t word) {
    word &= kWordMask;
    ControlFields f;
    f.bit1 = bit(word, 1);
    f.bit2 = bit(word, 2);
    f.bit4 = bit(word, 4);
    f.i1Gain = bit(word, 5);
    f.bit8 = bit(word, 8);
    f.i2Gain = bit(word, 12);
    f.pc2 = signedByte(word);
    return f;
}

std::uint32_t PackControl(const ControlFields& f) {
    return place(f.pc2, 16, 8) | place(f.i2Gain, 12) | place(f.i1Gain, 5) | place(f.bit8, 8) |
           place(f.bit4, 4) | place(f.bit2, 2) | place(f.bit1, 1);
}

OpModeFields DecodeOperationalMode(std::uint32_t word, const OpModeFields& previous) {
    word &= kWordMask;
    OpModeFields f;
    f.afc = bit(word, 0);
    f.bit1 = bit(word, 1);
    f.bits9_10 = bits(word, 9, 2);
    f.bits2_3A = previous.bits2_3A;
    f.bits2_3B = previous.bits2_3B;
    (opModeRingAShown(f.bits9_10) ? f.bits2_3A : f.bits2_3B) = bits(word, 2, 2);
    f.i1Hpf = bit(word, 5);
    f.v1Hpf = bit(word, 6);
    f.i2Hpf = bit(word, 7);
    f.v2Hpf = bit(word, 8);
    f.bit12 = bit(word, 12);
    f.bits13_14 = bits(word, 13, 2);
    f.bit15 = bit(word, 15);
    f.bit22 = bit(word, 22);
    f.bit23 = bit(word, 23);
    return f;
}

std::uint32_t PackOperationalMode(const OpModeFields& f) {
    const int ring = opModeRingAShown(f.bits9_10) ? f.bits2_3A : f.bits2_3B;
    return place(f.bit23, 23) | place(f.bit22, 22) | place(f.bit15, 15) |
           place(f.bits13_14, 13, 2) | place(f.bit12, 12) | place(f.bits9_10, 9, 2) |
           place(f.v2Hpf, 8) | place(f.i2Hpf, 7) | place(f.v1Hpf, 6) | place(f.i1Hpf, 5) |
           place(ring, 2, 2) | place(f.bit1, 1) | place(f.afc, 0);
}

}  // namespace evkit::setup
