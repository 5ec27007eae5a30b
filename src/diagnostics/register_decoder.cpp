#include "diagnostics/register_decoder.h"

#include <array>
#include <cmath>
#include <cstddef>

#include "registers/conversions.h"
#include "setup/setup_registers.h"
#include "support/format.h"
#include "temperature/temperature.h"

namespace evkit::diagnostics {

namespace {

enum class Kind {
    // The five control and status registers: their fields as the setup decoders give them.
    Config,
    Status,
    Mask,
    Control,
    OpMode,
    // The numeric registers in their formats.
    Integer,   // the word as an unsigned integer
    Fraction,  // Hex_to_Decimal(word, n, signed) times a scale
    TwosComp,  // Hex_to_TwosComp(word)
    Ident,     // 32-bit identification word
};

struct RegisterInfo {
    int page;
    int address;
    const char* name;
    Kind kind;
    int n = 24;  // integer bits of a fraction
    bool isSigned = false;
    double scale = 1.0;  // shown value = converted value * scale
};

const std::vector<RegisterInfo>& registerTable() {
    static const std::vector<RegisterInfo> table = {
        {setup::kConfigRegister.page, setup::kConfigRegister.address, "configuration register",
         Kind::Config},
        {setup::kStatusRegister.page, setup::kStatusRegister.address, "status register",
         Kind::Status},
        {setup::kMaskRegister.page, setup::kMaskRegister.address, "mask register", Kind::Mask},
        {setup::kControlRegister.page, setup::kControlRegister.address, "control register",
         Kind::Control},
        {1, 0, "I1_DC_Offset", Kind::TwosComp},
        {1, 1, "I1_AC_Gain", Kind::Fraction, 2, false},
        {1, 2, "V1_DC_Offset", Kind::TwosComp},
        {1, 3, "V1_AC_Gain", Kind::Fraction, 2, false},
        {1, 4, "register 1:4", Kind::TwosComp},
        {1, 5, "I1_AC_Offset", Kind::TwosComp},
        {1, 6, "V1_AC_Offset", Kind::TwosComp},
        {1, 7, "I2_DC_Offset", Kind::TwosComp},
        {1, 8, "I2_AC_Gain", Kind::Fraction, 2, false},
        {1, 9, "V2_DC_Offset", Kind::TwosComp},
        {1, 10, "V2_AC_Gain", Kind::Fraction, 2, false},
        {1, 11, "register 1:11", Kind::TwosComp},
        {1, 12, "I2_AC_Offset", Kind::TwosComp},
        {1, 13, "V2_AC_Offset", Kind::TwosComp},
        {1, 14, "pulse rate", Kind::Fraction, 24, false, 0.25},
        {1, 15, "register 1:15", Kind::TwosComp},
        {setup::kOpModeRegister.page, setup::kOpModeRegister.address, "operational mode register",
         Kind::OpMode},
        {1, 17, "Epsilon (line frequency / word rate)", Kind::Fraction, 1, false},
        {1, 18, "register 1:18", Kind::Fraction, 1, false},
        {1, 19, "cycle count", Kind::Integer},
        {1, 22, "temperature gain", Kind::Fraction, 7, true},
        {1, 23, "temperature offset", Kind::TwosComp},
        {1, 24, "register 1:24", Kind::TwosComp},
        {1, 25, "settle time", Kind::Fraction, 24, false, 0.25},
        {1, 26, "load minimum", Kind::Fraction, 1, false},
        {1, 27, "VF RMS", Kind::TwosComp},
        {2, 0, "sag 1 count", Kind::Integer},
        {2, 1, "sag 1 level", Kind::Fraction, 1, false},
        {2, 4, "sag 2 count", Kind::Integer},
        {2, 5, "sag 2 level", Kind::Fraction, 1, false},
        {2, 8, "sag 3 count", Kind::Integer},
        {2, 9, "sag 3 level", Kind::Fraction, 1, false},
        {2, 12, "sag 4 count", Kind::Integer},
        {2, 13, "sag 4 level", Kind::Fraction, 1, false},
        {5, 11, "revision", Kind::Integer},
        {5, 26, "Tmeas", Kind::Integer},
        {65, 0, "identification word", Kind::Ident},
    };
    return table;
}

const RegisterInfo* findRegister(int page, int address) {
    for (const auto& r : registerTable())
        if (r.page == page && r.address == address) return &r;
    return nullptr;
}

std::string bitsText(int lo, int width) {
    return width == 1 ? std::to_string(lo) : strprintf("%d..%d", lo, lo + width - 1);
}

// One row per field: "bit n" for a flag, "bits lo..hi" for an unnamed wider field.
void field(std::vector<DecodedField>& out, const char* name, int lo, int width, int value) {
    out.push_back({name, bitsText(lo, width), std::to_string(value)});
}
void flag(std::vector<DecodedField>& out, int n, bool value) {
    out.push_back({strprintf("bit %d", n), std::to_string(n), value ? "1" : "0"});
}
void bitsField(std::vector<DecodedField>& out, int lo, int width, int value) {
    out.push_back({"bits " + bitsText(lo, width), bitsText(lo, width), std::to_string(value)});
}

void configFields(std::uint32_t word, double xtalMHz, std::vector<DecodedField>& out) {
    const setup::ConfigFields f = setup::DecodeConfig(word);
    field(out, "clock divider K", 0, 4, f.clockDivider);
    flag(out, 4, f.bit4);
    bitsField(out, 11, 2, f.bits11_12);
    flag(out, 15, f.bit15);
    field(out, "PC1", 16, 8, f.pc1);
    const int k = f.clockDivider;
    out.push_back(
        {"word rate", "0..3",
         k == 0 ? std::string("none (K = 0)")
                : strprintf("%.3f words/s at %.4g MHz", xtalMHz * 1e6 / (k * 1024.0), xtalMHz)});
}

// Status and mask: one row per bit, the bit as the device holds it.
void everyBit(const std::array<bool, 24>& bits, const char* bit0Note,
              std::vector<DecodedField>& out) {
    for (int n = 0; n < 24; ++n) flag(out, n, bits[static_cast<std::size_t>(n)]);
    out.front().name += bit0Note;
}

void controlFields(std::uint32_t word, std::vector<DecodedField>& out) {
    const setup::ControlFields f = setup::DecodeControl(word);
    flag(out, 1, f.bit1);
    flag(out, 2, f.bit2);
    flag(out, 4, f.bit4);
    field(out, "I1_Gain", 5, 1, f.i1Gain);
    flag(out, 8, f.bit8);
    field(out, "I2_Gain", 12, 1, f.i2Gain);
    field(out, "PC2", 16, 8, f.pc2);
}

void opModeFields(std::uint32_t word, std::vector<DecodedField>& out) {
    const setup::OpModeFields f = setup::DecodeOperationalMode(word, {});
    field(out, "AFC", 0, 1, f.afc);
    flag(out, 1, f.bit1);
    // Bits 2..3 land in the ring the selector shows.
    bitsField(out, 2, 2, setup::opModeRingAShown(f.bits9_10) ? f.bits2_3A : f.bits2_3B);
    field(out, "I1_HPF", 5, 1, f.i1Hpf);
    field(out, "V1_HPF", 6, 1, f.v1Hpf);
    field(out, "I2_HPF", 7, 1, f.i2Hpf);
    field(out, "V2_HPF", 8, 1, f.v2Hpf);
    bitsField(out, 9, 2, f.bits9_10);
    flag(out, 12, f.bit12);
    bitsField(out, 13, 2, f.bits13_14);
    flag(out, 15, f.bit15);
    flag(out, 22, f.bit22);
    flag(out, 23, f.bit23);
}

std::string number(double v) {
    return strprintf("%.6f", v);
}

// Readings of a register the table does not know: every common format.
void genericFields(std::uint32_t word, std::vector<DecodedField>& out) {
    const auto w = static_cast<std::int32_t>(word);
    const std::int32_t s24 = (word & 0x800000) ? w - 0x1000000 : w;
    out.push_back({"unsigned integer", "0..23", std::to_string(word)});
    out.push_back({"signed integer", "0..23", std::to_string(s24)});
    out.push_back({"signed fraction (1 integer bit)", "0..23", number(Hex_to_TwosComp(w))});
    out.push_back({"unsigned fraction (1 integer bit)", "0..23", number(Hex_to_Decimal(w, 1, 0))});
}

}  // namespace

RegisterDecoding decodeRegister(int page, int address, std::uint32_t word, double xtalMHz) {
    RegisterDecoding d;
    const RegisterInfo* info = findRegister(page, address);
    if (!info || info->kind != Kind::Ident) word &= 0xFFFFFF;
    const auto w = static_cast<std::int32_t>(word);
    if (!info) {
        d.name = strprintf("register %d:%d", page, address);
        genericFields(word, d.fields);
        return d;
    }
    d.name = info->name;
    d.known = true;
    switch (info->kind) {
        case Kind::Config:
            configFields(word, xtalMHz, d.fields);
            break;
        case Kind::Status: {
            // The setup window's lamp 0 is lit while bit 0 is clear; here the bit itself.
            setup::StatusLamps bits = setup::DecodeStatus(word);
            bits[0] = !bits[0];
            everyBit(bits, " (setup LED shows it inverted)", d.fields);
            break;
        }
        case Kind::Mask:
            everyBit(setup::DecodeMask(word), "", d.fields);
            break;
        case Kind::Control:
            controlFields(word, d.fields);
            break;
        case Kind::OpMode:
            opModeFields(word, d.fields);
            break;
        case Kind::Integer:
            d.fields.push_back({"value", "0..23", std::to_string(word)});
            break;
        case Kind::Fraction: {
            const double v = Hex_to_Decimal(w, info->n, info->isSigned ? 1 : 0) * info->scale;
            d.fields.push_back(
                {strprintf("value (%d integer bits, %s%s)", info->n,
                           info->isSigned ? "signed" : "unsigned",
                           info->scale != 1.0 ? strprintf(", x %g", info->scale).c_str() : ""),
                 "0..23", number(v)});
            if (page == 1 && (address == 1 || address == 3 || address == 8 || address == 10))
                d.fields.push_back(
                    {"value (2 integer bits, signed)", "0..23", number(Hex_to_Decimal(w, 2, 1))});
            if (page == temperature::kPage && address == temperature::kGainAddress) {
                const double v = temperature::gainValue(word);
                d.fields.push_back({"temperature gain value (833.333 / (128 g))", "0..23",
                                    std::isinf(v) ? std::string("infinite (g = 0)") : number(v)});
            }
            break;
        }
        case Kind::TwosComp:
            d.fields.push_back({"value (signed fraction)", "0..23", number(Hex_to_TwosComp(w))});
            if (page == temperature::kPage && address == temperature::kOffsetAddress)
                d.fields.push_back({"temperature offset value (833.333 o)", "0..23",
                                    number(temperature::offsetValue(word))});
            break;
        case Kind::Ident:
            d.fields.push_back({"identification", "0..31", strprintf("0x%08x", word)});
            break;
    }
    return d;
}

std::vector<std::pair<std::string, std::string>> knownRegisters() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& r : registerTable())
        out.emplace_back(strprintf("%d:%d", r.page, r.address), r.name);
    return out;
}

}  // namespace evkit::diagnostics
