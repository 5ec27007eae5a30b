#pragma once
// The device setup window's control table: every control of the window is a row of one
// table (setupControls()), named by its role, with its register, label, limits and the way
// its value is read from and written into the register values. Also the numeric registers
// of pages 1 and 2 and the checks, parsing and formatting of a control's value.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/setup_registers.h"

namespace evkit::setup {

// The numeric registers of pages 1 and 2, in the order the refresh reads them.
struct NumericRegister {
    const char* valueName;  // value control
    const char* wordName;   // word control (hexadecimal)
    RegisterRef reg;
    const char* callback;
    const char* label;
    bool integerValue;  // value control shows the plain word (sag counts)
    double min, max;    // values the value control accepts
    // Typed value to word; nullopt when the value has no word (temperature gain 0).
    std::optional<std::uint32_t> (*entry)(double x);
    // Word to the shown value.
    double (*display)(std::uint32_t word);
};
inline constexpr std::size_t kNumericCount = 18;
const std::array<NumericRegister, kNumericCount>& numericRegisters();

// Scaling of the temperature registers, shared with the temperature window's presentation.
inline constexpr double kTempScale = 833.333;
inline constexpr double kTempGainDivisor = 128.0;
double temperatureGainValue(std::uint32_t gainWord);      // 833.333 / (128 g)
double temperatureOffsetValue(std::uint32_t offsetWord);  // 833.333 o

// Everything the window shows, as last read from the device.
struct SetupValues {
    std::uint32_t config = 0;
    std::uint32_t mask = 0;
    std::uint32_t status = 0;
    std::uint32_t control = 0;
    std::uint32_t opmode = 0;
    std::uint32_t cycleCount = 0;
    ConfigFields configFields;
    ControlFields controlFields;
    OpModeFields opmodeFields;
    std::array<std::uint32_t, kNumericCount> numeric{};  // words, in numericRegisters() order
    bool refreshed = false;  // a refresh has filled the values at least once

    std::uint32_t numericWord(std::string_view valueOrWordName) const;
    double numericValue(std::string_view valueOrWordName) const;
};

enum class ControlKind {
    Word,          // register word, hexadecimal, editable
    ReadOnlyWord,  // register word, display only (status)
    Flag,          // check box, 0/1
    Lamp,          // display-only lamp, 0/1
    Ring,          // small integer from a list
    Integer,       // integer entry (signed fields, counts)
    Value,         // floating-point entry
    Button,        // command
};

enum class RegisterGroup { Config, Mask, Status, Control, OpMode, CycleCount, Xtal, Numeric, None };

struct ControlSpec {
    std::string name;  // objectName of the window's control
    ControlKind kind;
    RegisterGroup group;
    int index;        // bit number (mask, status), numeric register index, else -1
    double min, max;  // values the control accepts
    std::string callback;
    std::string label;
    std::function<double(const SetupValues&)> get;  // field controls only
    std::function<void(SetupValues&, double)> set;  // field controls only
};

// Every control of the window, grouped by register in the window's order.
const std::vector<ControlSpec>& setupControls();
const ControlSpec* findSetupControl(std::string_view name);
// The controls that show the same register as `control` (what an edit of it changes).
std::vector<const ControlSpec*> registerControls(const ControlSpec& control);

bool isEditable(const ControlSpec& control);
// Why `value` cannot be committed to `control`, or nullopt when it can.
std::optional<std::string> checkControlValue(const ControlSpec& control, double value);
// Text as the user types it: words and integers in decimal or 0x-hex, values as decimals.
std::optional<double> parseControlValue(const ControlSpec& control, std::string_view text,
                                        std::string* error);
// Text as the command line prints it: words as 0x-hex, integers plain, values with 10 digits.
std::string formatControlValue(const ControlSpec& control, double value);

}  // namespace evkit::setup
