#pragma once
// What the device setup window shows and how each of its controls edits the device.
//
// Every control of the window is a row of one table (setupControls()), named by its role.
// The window and the command line both go through SetupModel::commit with a control and a
// value, so both edit the device the same way: build the register word (the typed word,
// the packed fields, or the value converted with the register's entry rule), write it,
// read it back and keep what the device holds. When the read-back fails the previous
// values stay, so the window never shows a value that did not come from the device.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board/session.h"
#include "setup/setup_registers.h"
#include "support/messages.h"

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

// Status of an entry that was refused before anything was sent.
constexpr int kStatusRefusedEntry = -200;

class SetupModel {
  public:
    SetupModel(Session& session, Messages& messages) : session_(session), messages_(messages) {}

    // Reads every register the window shows, in the window's fixed order. Only the first
    // read is decisive: when it fails nothing changes and its status is returned. A later
    // read that fails keeps that register's previous values (see wasRead, refreshFailure).
    // When the board is found gone the refresh stops there, having said so once.
    int Refresh_Setup();
    // The status of the first read after the first that failed in the last refresh (0 when
    // every register was read).
    int refreshFailure() const { return refreshFailure_; }
    // False for a control whose register could not be read in the last refresh: what it
    // shows did not come from the device then.
    bool wasRead(const ControlSpec& control) const;
    // Device command 0xF4 (power-on defaults), one second's wait, then the refresh.
    int reset();
    // Writes all ones to the status register (clearing its bits) and reads it back.
    int clearStatus();
    // Commits `value` to the control as the window does on the control's commit event.
    // Returns 0, the first failing board status, or kStatusRefusedEntry (message shown).
    int commit(const ControlSpec& control, double value);
    int commit(std::string_view controlName, double value);
    // Whether the last commit read its register back (even when its write failed): the
    // register's controls then show the device's word.
    bool committedReadBack() const { return committedReadBack_; }

    // What the control shows now.
    double value(const ControlSpec& control) const;
    // False for the bits 2..3 ring of the operational mode that the selector hides.
    bool shown(const ControlSpec& control) const;

    const SetupValues& values() const { return values_; }
    Session& session() { return session_; }

  private:
    struct Exchange {
        int status = 0;                         // first failing status, 0 when both worked
        std::optional<std::uint32_t> readBack;  // the device's word, when the read worked
    };
    Exchange writeReadBack(RegisterRef reg, std::uint32_t word);
    void decodeInto(RegisterGroup group, std::uint32_t word, SetupValues& values) const;

    Session& session_;
    Messages& messages_;
    SetupValues values_;
    int refreshFailure_ = 0;
    bool committedReadBack_ = false;
    std::vector<RegisterRef> unread_;  // registers the last refresh could not read
};

}  // namespace evkit::setup
