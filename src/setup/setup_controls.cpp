// The setup window's control table (every field, word, integer and button with its register,
// label and conversions) and the checks, parsing and formatting of a control's value.
#include "setup/setup_controls.h"

#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "registers/conversions.h"
#include "registers/word.h"
#include "support/format.h"

namespace evkit::setup {

namespace {

constexpr double kWordMax = 0xFFFFFF;
constexpr double kFraction1Max = 2.0 - 0x1p-23;  // largest (1, unsigned) value
constexpr double kQuarterMax = kWordMax * 0.25;  // largest value of a quarter-step count

std::int32_t asWord(std::uint32_t w) {
    return static_cast<std::int32_t>(w & 0xFFFFFF);
}

std::optional<std::uint32_t> quarterEntry(double x) {
    return low24(Decimal_to_Hex(x / 0.25, 24));
}
double quarterDisplay(std::uint32_t w) {
    return Hex_to_Decimal(asWord(w), 24, 0) * 0.25;
}
std::optional<std::uint32_t> twosEntry(double x) {
    return low24(TwosComp_to_Hex(x));
}
double twosDisplay(std::uint32_t w) {
    return Hex_to_TwosComp(asWord(w));
}
std::optional<std::uint32_t> fraction1Entry(double x) {
    return low24(Decimal_to_Hex(x, 1));
}
double fraction1Display(std::uint32_t w) {
    return Hex_to_Decimal(asWord(w), 1, 0);
}
std::optional<std::uint32_t> integerEntry(double x) {
    return static_cast<std::uint32_t>(x);
}
double integerDisplay(std::uint32_t w) {
    return static_cast<double>(w & 0xFFFFFF);
}

// Temperature registers in the temperature window's scaled units, in both directions.
std::optional<std::uint32_t> tempGainEntry(double value) {
    if (value == 0.0 || !std::isfinite(value)) return std::nullopt;
    const double g = kTempScale / (kTempGainDivisor * value);
    if (!(g >= -64.0 && g < 64.0)) return std::nullopt;  // outside the (7, signed) format
    const std::uint32_t word = low24(Decimal_to_Hex(g, 7));
    if (word == 0) return std::nullopt;  // so large that the gain truncates to 0
    return word;
}
std::optional<std::uint32_t> tempOffsetEntry(double value) {
    return low24(TwosComp_to_Hex(value / kTempScale));
}

}  // namespace

double temperatureGainValue(std::uint32_t w) {
    return kTempScale / (kTempGainDivisor * Hex_to_Decimal(asWord(w), 7, 1));
}
double temperatureOffsetValue(std::uint32_t w) {
    return kTempScale * Hex_to_TwosComp(asWord(w));
}

const std::array<NumericRegister, kNumericCount>& numericRegisters() {
    static const std::array<NumericRegister, kNumericCount> table = {{
        {"SETUP_SAG1_LEVEL",
         "SETUP_SAG1_LEVEL_HEX",
         {2, 1},
         "SAG",
         "Sag 1 level",
         false,
         0.0,
         kFraction1Max,
         fraction1Entry,
         fraction1Display},
        {"SETUP_SAG1_COUNT",
         "SETUP_SAG1_COUNT_HEX",
         {2, 0},
         "SAG",
         "Sag 1 count",
         true,
         0.0,
         kWordMax,
         integerEntry,
         integerDisplay},
        {"SETUP_SAG2_LEVEL",
         "SETUP_SAG2_LEVEL_HEX",
         {2, 5},
         "SAG",
         "Sag 2 level",
         false,
         0.0,
         kFraction1Max,
         fraction1Entry,
         fraction1Display},
        {"SETUP_SAG2_COUNT",
         "SETUP_SAG2_COUNT_HEX",
         {2, 4},
         "SAG",
         "Sag 2 count",
         true,
         0.0,
         kWordMax,
         integerEntry,
         integerDisplay},
        {"SETUP_SAG3_LEVEL",
         "SETUP_SAG3_LEVEL_HEX",
         {2, 9},
         "SAG",
         "Sag 3 level",
         false,
         0.0,
         kFraction1Max,
         fraction1Entry,
         fraction1Display},
        {"SETUP_SAG3_COUNT",
         "SETUP_SAG3_COUNT_HEX",
         {2, 8},
         "SAG",
         "Sag 3 count",
         true,
         0.0,
         kWordMax,
         integerEntry,
         integerDisplay},
        {"SETUP_SAG4_LEVEL",
         "SETUP_SAG4_LEVEL_HEX",
         {2, 13},
         "SAG",
         "Sag 4 level",
         false,
         0.0,
         kFraction1Max,
         fraction1Entry,
         fraction1Display},
        {"SETUP_SAG4_COUNT",
         "SETUP_SAG4_COUNT_HEX",
         {2, 12},
         "SAG",
         "Sag 4 count",
         true,
         0.0,
         kWordMax,
         integerEntry,
         integerDisplay},
        {"SETUP_REG_1_15",
         "SETUP_REG_1_15_HEX",
         {1, 15},
         "PulseRate",
         "Register 1:15",
         false,
         -1.0,
         1.0,
         twosEntry,
         twosDisplay},
        {"SETUP_PULSE_RATE",
         "SETUP_PULSE_RATE_HEX",
         {1, 14},
         "PulseRate",
         "Pulse rate",
         false,
         0.0,
         kQuarterMax,
         quarterEntry,
         quarterDisplay},
        {"SETUP_TEMP_OFFSET",
         "SETUP_TEMP_OFFSET_HEX",
         {1, 23},
         "Temp_Gain_Offset",
         "Temperature offset",
         false,
         -kTempScale,
         kTempScale,
         tempOffsetEntry,
         temperatureOffsetValue},
        {"SETUP_TEMP_GAIN",
         "SETUP_TEMP_GAIN_HEX",
         {1, 22},
         "Temp_Gain_Offset",
         "Temperature gain",
         false,
         -1e9,
         1e9,
         tempGainEntry,
         temperatureGainValue},
        {"SETUP_REG_1_18",
         "SETUP_REG_1_18_HEX",
         {1, 18},
         "SAG",
         "Register 1:18",
         false,
         0.0,
         kFraction1Max,
         fraction1Entry,
         fraction1Display},
        {"SETUP_REG_1_24",
         "SETUP_REG_1_24_HEX",
         {1, 24},
         "SAG",
         "Register 1:24",
         false,
         -1.0,
         1.0,
         twosEntry,
         twosDisplay},
        {"SETUP_VF_RMS",
         "SETUP_VF_RMS_HEX",
         {1, 27},
         "VF_RMS",
         "VF RMS (1:27)",
         false,
         -1.0,
         1.0,
         twosEntry,
         twosDisplay},
        {"SETUP_SETTLE_TIME",
         "SETUP_SETTLE_TIME_HEX",
         {1, 25},
         "Settle_Time",
         "Settle time",
         false,
         0.0,
         kQuarterMax,
         quarterEntry,
         quarterDisplay},
        {"SETUP_EPSILON",
         "SETUP_EPSILON_HEX",
         {1, 17},
         "cbf_Epsilon",
         "Epsilon",
         false,
         0.0,
         kFraction1Max,
         fraction1Entry,
         fraction1Display},
        {"SETUP_LOAD_MIN",
         "SETUP_LOAD_MIN_HEX",
         {1, 26},
         "cbf_LoadMin",
         "Load minimum",
         false,
         0.0,
         kFraction1Max,
         fraction1Entry,
         fraction1Display},
    }};
    return table;
}

namespace {

int numericIndex(std::string_view name) {
    const auto& t = numericRegisters();
    for (size_t i = 0; i < t.size(); ++i)
        if (name == t[i].valueName || name == t[i].wordName) return static_cast<int>(i);
    return -1;
}

template <class Fields, class T>
ControlSpec field(std::string name, ControlKind kind, RegisterGroup group,
                  Fields SetupValues::*fields, T Fields::*member, double min, double max,
                  std::string callback, std::string label) {
    return ControlSpec{
        std::move(name),
        kind,
        group,
        -1,
        min,
        max,
        std::move(callback),
        std::move(label),
        [fields, member](const SetupValues& v) { return static_cast<double>((v.*fields).*member); },
        [fields, member](SetupValues& v, double x) {
            if constexpr (std::is_same_v<T, bool>)
                (v.*fields).*member = x != 0.0;
            else
                (v.*fields).*member = static_cast<T>(x);
        }};
}

ControlSpec word(std::string name, RegisterGroup group, std::string callback, std::string label,
                 std::uint32_t SetupValues::*member, ControlKind kind = ControlKind::Word) {
    return ControlSpec{std::move(name),
                       kind,
                       group,
                       -1,
                       0.0,
                       kWordMax,
                       std::move(callback),
                       std::move(label),
                       [member](const SetupValues& v) { return static_cast<double>(v.*member); },
                       {}};
}

ControlSpec button(std::string name, std::string callback, std::string label) {
    return ControlSpec{std::move(name),
                       ControlKind::Button,
                       RegisterGroup::None,
                       -1,
                       0,
                       0,
                       std::move(callback),
                       std::move(label),
                       {},
                       {}};
}

std::vector<ControlSpec> buildControls() {
    using G = RegisterGroup;
    using K = ControlKind;
    std::vector<ControlSpec> c;
    // Configuration register.
    c.push_back(word("SETUP_CONFIG_HEX", G::Config, "CONFIG_BIN", "Word", &SetupValues::config));
    c.push_back(field("SETUP_CLOCK_DIVIDER", K::Ring, G::Config, &SetupValues::configFields,
                      &ConfigFields::clockDivider, 0, 15, "CONFIG_BIN", "Clock divider K"));
    c.push_back(field("SETUP_CONFIG_BIT4", K::Flag, G::Config, &SetupValues::configFields,
                      &ConfigFields::bit4, 0, 1, "CONFIG_BIN", "Bit 4"));
    c.push_back(field("SETUP_CONFIG_BITS11_12", K::Ring, G::Config, &SetupValues::configFields,
                      &ConfigFields::bits11_12, 0, 3, "CONFIG_BIN", "Bits 11..12"));
    c.push_back(field("SETUP_CONFIG_BIT15", K::Flag, G::Config, &SetupValues::configFields,
                      &ConfigFields::bit15, 0, 1, "CONFIG_BIN", "Bit 15"));
    c.push_back(field("SETUP_PC1", K::Integer, G::Config, &SetupValues::configFields,
                      &ConfigFields::pc1, -128, 127, "CONFIG_BIN", "PC1"));
    // Mask register: one box per bit.
    c.push_back(word("SETUP_MASK_HEX", G::Mask, "MASK_BIN", "Word", &SetupValues::mask));
    for (int n = 0; n < 24; ++n) {
        const std::uint32_t b = 1u << n;
        c.push_back(ControlSpec{
            "SETUP_MASK_BIT" + std::to_string(n), K::Flag, G::Mask, n, 0, 1, "MASK_BIN",
            std::to_string(n), [b](const SetupValues& v) { return (v.mask & b) ? 1.0 : 0.0; },
            [b](SetupValues& v, double x) { v.mask = x != 0.0 ? (v.mask | b) : (v.mask & ~b); }});
    }
    // Status register: lamps, display only.
    c.push_back(
        word("SETUP_STATUS_HEX", G::Status, "", "Word", &SetupValues::status, K::ReadOnlyWord));
    for (int n = 0; n < 24; ++n)
        c.push_back(ControlSpec{"SETUP_STATUS_BIT" + std::to_string(n),
                                K::Lamp,
                                G::Status,
                                n,
                                0,
                                1,
                                "",
                                std::to_string(n),
                                [n](const SetupValues& v) {
                                    return DecodeStatus(v.status)[static_cast<size_t>(n)] ? 1.0
                                                                                          : 0.0;
                                },
                                {}});
    c.push_back(button("SETUP_CLEAR_STATUS", "CLEAR_STATUS", "Clear status"));
    // Control register.
    c.push_back(
        word("SETUP_CONTROL_HEX", G::Control, "CONTROL_BIN", "Word", &SetupValues::control));
    const auto ctl = [&](const char* name, bool ControlFields::*m, const char* label) {
        c.push_back(field(name, K::Flag, G::Control, &SetupValues::controlFields, m, 0, 1,
                          "CONTROL_BIN", label));
    };
    ctl("SETUP_CONTROL_BIT1", &ControlFields::bit1, "Bit 1");
    ctl("SETUP_CONTROL_BIT2", &ControlFields::bit2, "Bit 2");
    ctl("SETUP_CONTROL_BIT4", &ControlFields::bit4, "Bit 4");
    ctl("SETUP_I1_GAIN", &ControlFields::i1Gain, "I1 gain (bit 5)");
    ctl("SETUP_CONTROL_BIT8", &ControlFields::bit8, "Bit 8");
    ctl("SETUP_I2_GAIN", &ControlFields::i2Gain, "I2 gain (bit 12)");
    c.push_back(field("SETUP_PC2", K::Integer, G::Control, &SetupValues::controlFields,
                      &ControlFields::pc2, -128, 127, "CONTROL_BIN", "PC2"));
    // Operational mode register.
    c.push_back(word("SETUP_OPMODE_HEX", G::OpMode, "OPMODE_BIN", "Word", &SetupValues::opmode));
    const auto opFlag = [&](const char* name, bool OpModeFields::*m, const char* label) {
        c.push_back(field(name, K::Flag, G::OpMode, &SetupValues::opmodeFields, m, 0, 1,
                          "OPMODE_BIN", label));
    };
    const auto opRing = [&](const char* name, int OpModeFields::*m, const char* label) {
        c.push_back(field(name, K::Ring, G::OpMode, &SetupValues::opmodeFields, m, 0, 3,
                          "OPMODE_BIN", label));
    };
    opFlag("SETUP_AFC", &OpModeFields::afc, "AFC (bit 0)");
    opFlag("SETUP_OPMODE_BIT1", &OpModeFields::bit1, "Bit 1");
    opRing("SETUP_OPMODE_BITS2_3_A", &OpModeFields::bits2_3A, "Bits 2..3");
    opRing("SETUP_OPMODE_BITS2_3_B", &OpModeFields::bits2_3B, "Bits 2..3");
    opFlag("SETUP_I1_HPF", &OpModeFields::i1Hpf, "I1 HPF (bit 5)");
    opFlag("SETUP_V1_HPF", &OpModeFields::v1Hpf, "V1 HPF (bit 6)");
    opFlag("SETUP_I2_HPF", &OpModeFields::i2Hpf, "I2 HPF (bit 7)");
    opFlag("SETUP_V2_HPF", &OpModeFields::v2Hpf, "V2 HPF (bit 8)");
    opRing("SETUP_OPMODE_BITS9_10", &OpModeFields::bits9_10, "Bits 9..10");
    opFlag("SETUP_OPMODE_BIT12", &OpModeFields::bit12, "Bit 12");
    opRing("SETUP_OPMODE_BITS13_14", &OpModeFields::bits13_14, "Bits 13..14");
    opFlag("SETUP_OPMODE_BIT15", &OpModeFields::bit15, "Bit 15");
    opFlag("SETUP_OPMODE_BIT22", &OpModeFields::bit22, "Bit 22");
    opFlag("SETUP_OPMODE_BIT23", &OpModeFields::bit23, "Bit 23");
    // Oscillator and cycle count.
    c.push_back(ControlSpec{"SETUP_XTAL_SPEED",
                            K::Value,
                            G::Xtal,
                            -1,
                            0.001,
                            1000.0,
                            "XTAL_SPEED",
                            "Oscillator (MHz)",
                            {},
                            {}});
    c.push_back(ControlSpec{"SETUP_CYCLE_COUNT",
                            K::Integer,
                            G::CycleCount,
                            -1,
                            0,
                            kWordMax,
                            "CY_COUNT",
                            "Cycle count",
                            [](const SetupValues& v) { return double(v.cycleCount); },
                            {}});
    c.push_back(word("SETUP_CYCLE_COUNT_HEX", G::CycleCount, "CY_COUNT", "Cycle count word",
                     &SetupValues::cycleCount));
    c.push_back(button("SETUP_RESET", "RESET_REFRESH", "Reset"));
    c.push_back(button("SETUP_REFRESH", "RESET_REFRESH", "Refresh"));
    // Numeric registers, value control then word control.
    const auto& t = numericRegisters();
    for (size_t i = 0; i < t.size(); ++i) {
        const auto& r = t[i];
        c.push_back(ControlSpec{r.valueName,
                                r.integerValue ? K::Integer : K::Value,
                                G::Numeric,
                                static_cast<int>(i),
                                r.min,
                                r.max,
                                r.callback,
                                r.label,
                                {},
                                {}});
        c.push_back(ControlSpec{r.wordName,
                                K::Word,
                                G::Numeric,
                                static_cast<int>(i),
                                0.0,
                                kWordMax,
                                r.callback,
                                std::string(r.label) + " word",
                                {},
                                {}});
    }
    // Register settings files and the temperature window.
    c.push_back(button("SETUP_RETRIEVE", "RETRIEVE", "Retrieve registers..."));
    c.push_back(button("SETUP_STORE", "STORE", "Store registers..."));
    c.push_back(button("SETUP_TEMP_SETTINGS", "TEMP_SETTINGS", "Temperature settings..."));
    return c;
}

std::string formatNumber(double v) {
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    return strprintf("%.10g", v);
}

}  // namespace

std::uint32_t SetupValues::numericWord(std::string_view name) const {
    const int i = numericIndex(name);
    return i < 0 ? 0 : numeric[static_cast<size_t>(i)];
}

double SetupValues::numericValue(std::string_view name) const {
    const int i = numericIndex(name);
    if (i < 0) return 0.0;
    return numericRegisters()[static_cast<size_t>(i)].display(numeric[static_cast<size_t>(i)]);
}

const std::vector<ControlSpec>& setupControls() {
    static const std::vector<ControlSpec> table = buildControls();
    return table;
}

const ControlSpec* findSetupControl(std::string_view name) {
    for (const auto& c : setupControls())
        if (c.name == name) return &c;
    return nullptr;
}

std::vector<const ControlSpec*> registerControls(const ControlSpec& control) {
    std::vector<const ControlSpec*> out;
    if (control.group == RegisterGroup::None) return out;
    for (const auto& c : setupControls()) {
        if (c.group != control.group || c.kind == ControlKind::Button) continue;
        if (c.group == RegisterGroup::Numeric && c.index != control.index) continue;
        out.push_back(&c);
    }
    return out;
}

bool isEditable(const ControlSpec& c) {
    return c.kind != ControlKind::ReadOnlyWord && c.kind != ControlKind::Lamp &&
           c.kind != ControlKind::Button;
}

std::optional<std::string> checkControlValue(const ControlSpec& c, double v) {
    if (!isEditable(c)) return c.name + " cannot be edited.";
    const bool integral = c.kind != ControlKind::Value;
    if (!std::isfinite(v) || v < c.min || v > c.max || (integral && v != std::trunc(v))) {
        if (c.kind == ControlKind::Word)
            return c.name + " takes a 24-bit word (0x000000 to 0xffffff).";
        return c.label + " must be " + (integral ? "an integer " : "") + "between " +
               formatNumber(c.min) + " and " + formatNumber(c.max) + ".";
    }
    if (c.group == RegisterGroup::Numeric && c.kind == ControlKind::Value) {
        const auto& r = numericRegisters()[static_cast<size_t>(c.index)];
        if (!r.entry(v)) {
            const double lo = kTempScale / (kTempGainDivisor * 64.0);
            const double hi = kTempScale / (kTempGainDivisor * 0x1p-17);
            return c.label + " must be non-zero and between " + formatNumber(lo) + " and " +
                   formatNumber(hi) + " in magnitude.";
        }
    }
    return std::nullopt;
}

std::optional<double> parseControlValue(const ControlSpec& c, std::string_view text,
                                        std::string* error) {
    const auto fail = [&](std::string why) -> std::optional<double> {
        if (error) *error = std::move(why);
        return std::nullopt;
    };
    if (!isEditable(c)) return fail(c.name + " cannot be edited.");
    double v;
    if (c.kind == ControlKind::Value) {
        const std::string s(text);
        char* end = nullptr;
        v = s.empty() ? NAN : std::strtod(s.c_str(), &end);
        if (s.empty() || end != s.c_str() + s.size()) return fail("'" + s + "' is not a number");
    } else {
        const auto i = parseInteger(text);
// GCC 12 at -O3 warns -Wrestrict inside std::string's own copy for "literal" + string&&,
// a known false positive of that version's inliner; nothing here overlaps.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
        if (!i) return fail("'" + std::string(text) + "' is not an integer (decimal or 0x-hex)");
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
        v = static_cast<double>(*i);
    }
    if (auto why = checkControlValue(c, v)) return fail(*why);
    return v;
}

std::string formatControlValue(const ControlSpec& c, double v) {
    switch (c.kind) {
        case ControlKind::Word:
        case ControlKind::ReadOnlyWord:
            return hexWord(static_cast<std::uint32_t>(v));
        case ControlKind::Value:
            return formatNumber(v);
        default:
            return strprintf("%lld", static_cast<long long>(v));
    }
}

}  // namespace evkit::setup
