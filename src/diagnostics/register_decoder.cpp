#include "diagnostics/register_decoder.h"

#include <string_view>

#include "registers/conversions.h"
#include "support/format.h"

namespace evkit::diagnostics {

namespace {

struct BitField {
    int lo;
    int width;
    const char* name;
    bool isSigned = false;
};

enum class Kind {
    Fields,    // listed bit fields
    EveryBit,  // one field per bit (mask, status)
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
    std::vector<BitField> fields = {};
    int n = 24;  // integer bits of a fraction
    bool isSigned = false;
    double scale = 1.0;  // shown value = converted value * scale
    const char* unit = "";
};

const std::vector<RegisterInfo>& registerTable() {
    static const std::vector<RegisterInfo> table = {
        {0,
         0,
         "configuration register",
         Kind::Fields,
         {{0, 4, "clock divider K"},
          {4, 1, "bit 4"},
          {11, 2, "bits 11..12"},
          {15, 1, "bit 15"},
          {16, 8, "PC1", true}}},
        {0, 15, "status register", Kind::EveryBit},
        {0, 26, "mask register", Kind::EveryBit},
        {0,
         28,
         "control register",
         Kind::Fields,
         {{1, 1, "bit 1"},
          {2, 1, "bit 2"},
          {4, 1, "bit 4"},
          {5, 1, "I1_Gain"},
          {8, 1, "bit 8"},
          {12, 1, "I2_Gain"},
          {16, 8, "PC2", true}}},
        {1, 0, "I1_DC_Offset", Kind::TwosComp},
        {1, 1, "I1_AC_Gain", Kind::Fraction, {}, 2, false},
        {1, 2, "V1_DC_Offset", Kind::TwosComp},
        {1, 3, "V1_AC_Gain", Kind::Fraction, {}, 2, false},
        {1, 4, "register 1:4", Kind::TwosComp},
        {1, 5, "I1_AC_Offset", Kind::TwosComp},
        {1, 6, "V1_AC_Offset", Kind::TwosComp},
        {1, 7, "I2_DC_Offset", Kind::TwosComp},
        {1, 8, "I2_AC_Gain", Kind::Fraction, {}, 2, false},
        {1, 9, "V2_DC_Offset", Kind::TwosComp},
        {1, 10, "V2_AC_Gain", Kind::Fraction, {}, 2, false},
        {1, 11, "register 1:11", Kind::TwosComp},
        {1, 12, "I2_AC_Offset", Kind::TwosComp},
        {1, 13, "V2_AC_Offset", Kind::TwosComp},
        {1, 14, "pulse rate", Kind::Fraction, {}, 24, false, 0.25},
        {1, 15, "register 1:15", Kind::TwosComp},
        {1,
         16,
         "operational mode register",
         Kind::Fields,
         {{0, 1, "AFC"},
          {1, 1, "bit 1"},
          {2, 2, "bits 2..3"},
          {5, 1, "I1_HPF"},
          {6, 1, "V1_HPF"},
          {7, 1, "I2_HPF"},
          {8, 1, "V2_HPF"},
          {9, 2, "bits 9..10"},
          {12, 1, "bit 12"},
          {13, 2, "bits 13..14"},
          {15, 1, "bit 15"},
          {22, 1, "bit 22"},
          {23, 1, "bit 23"}}},
        {1, 17, "Epsilon (line frequency / word rate)", Kind::Fraction, {}, 1, false},
        {1, 18, "register 1:18", Kind::Fraction, {}, 1, false},
        {1, 19, "cycle count", Kind::Integer},
        {1, 22, "temperature gain", Kind::Fraction, {}, 7, true},
        {1, 23, "temperature offset", Kind::TwosComp},
        {1, 24, "register 1:24", Kind::TwosComp},
        {1, 25, "settle time", Kind::Fraction, {}, 24, false, 0.25},
        {1, 26, "load minimum", Kind::Fraction, {}, 1, false},
        {1, 27, "VF RMS", Kind::TwosComp},
        {2, 0, "sag 1 count", Kind::Integer},
        {2, 1, "sag 1 level", Kind::Fraction, {}, 1, false},
        {2, 4, "sag 2 count", Kind::Integer},
        {2, 5, "sag 2 level", Kind::Fraction, {}, 1, false},
        {2, 8, "sag 3 count", Kind::Integer},
        {2, 9, "sag 3 level", Kind::Fraction, {}, 1, false},
        {2, 12, "sag 4 count", Kind::Integer},
        {2, 13, "sag 4 level", Kind::Fraction, {}, 1, false},
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

std::int32_t fieldValue(std::uint32_t word, const BitField& f) {
    const std::uint32_t mask = (1u << f.width) - 1;
    const std::uint32_t raw = (word >> f.lo) & mask;
    if (f.isSigned && (raw & (1u << (f.width - 1))))
        return static_cast<std::int32_t>(raw) - static_cast<std::int32_t>(1u << f.width);
    return static_cast<std::int32_t>(raw);
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
        case Kind::Fields:
            for (const auto& f : info->fields)
                d.fields.push_back(
                    {f.name, bitsText(f.lo, f.width), std::to_string(fieldValue(word, f))});
            if (page == 0 && address == 0) {
                const int k = static_cast<int>(word & 0xF);
                d.fields.push_back({"word rate", "0..3",
                                    k == 0 ? std::string("none (K = 0)")
                                           : strprintf("%.3f words/s at %.4g MHz",
                                                       xtalMHz * 1e6 / (k * 1024.0), xtalMHz)});
            }
            break;
        case Kind::EveryBit:
            for (int b = 0; b < 24; ++b) {
                std::string name = strprintf("bit %d", b);
                if (page == 0 && address == 15 && b == 0) name += " (setup LED shows it inverted)";
                d.fields.push_back({name, std::to_string(b), std::to_string((word >> b) & 1)});
            }
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
            if (page == 1 && address == 22) {
                const double g = Hex_to_Decimal(w, 7, 1);
                d.fields.push_back(
                    {"temperature gain value (833.333 / (128 g))", "0..23",
                     g == 0.0 ? std::string("infinite (g = 0)") : number(833.333 / (128.0 * g))});
            }
            break;
        }
        case Kind::TwosComp:
            d.fields.push_back({"value (signed fraction)", "0..23", number(Hex_to_TwosComp(w))});
            if (page == 1 && address == 23)
                d.fields.push_back({"temperature offset value (833.333 o)", "0..23",
                                    number(833.333 * Hex_to_TwosComp(w))});
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
