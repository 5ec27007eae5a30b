#pragma once
// The device's offset and gain calibrations and the fourteen calibration registers of page 1.
// A calibration sends one command byte (0x80 + type + channels), waits while the device
// calibrates, then reads back the registers the command changed.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_link.h"

namespace evkit::calibration {

// Channel bits of a calibration command byte.
enum Channel : int { kI1 = 0x1, kV1 = 0x2, kI2 = 0x4, kV2 = 0x8, kAll = 0xF };

enum class CalType { DcOffset, Gain, AcOffset };

// How a gain register word can be read: signed (-2 .. 2) or unsigned (0 .. 4). The windows and
// the command line show every gain unsigned, whether after a calibration, a word entry or a
// refresh, so that one word always has one number.
enum class GainFormat { Signed, Unsigned };

struct CalRegister {
    int address;                // page 1
    const char* name;           // e.g. "I1_DC_Offset"; the two unnamed ones "REG_1_4", "REG_1_11"
    bool gain;                  // gain format, otherwise a signed fraction
    const char* wordControl;    // e.g. "CAL_I1_DC_OFFSET_HEX"
    const char* numberControl;  // e.g. "CAL_I1_DC_OFFSET"
};

struct CalButton {
    const char* control;  // e.g. "CAL_DC_OFFSET_I1"
    CalType type;
    int channels;
    std::vector<int> reads;  // page-1 addresses read back, in order
};

constexpr int kCalPage = 1;
constexpr const char* kNotCalibrationTitle = "Error, Command Not Valid!";
constexpr const char* kNotCalibrationText = "The calibration command is not supported";

// The fourteen registers, by address (1:0 .. 1:13).
const std::array<CalRegister, 14>& registers();
// The fifteen calibration buttons.
const std::vector<CalButton>& buttons();
// Refresh order of the registers.
const std::array<int, 14>& refreshOrder();

const CalRegister* registerAt(int address);
// By name ("I1_AC_Gain"), case-insensitive; nullptr when no register has it.
const CalRegister* registerNamed(std::string_view name);
const CalRegister* registerByWordControl(std::string_view control);
const CalButton* findButton(std::string_view control);
const CalButton* findButton(CalType type, int channels);

// 0x80 + type + channels; the gain type is 0x10 with the gain mode on, 0x30 with it off.
int commandByte(CalType type, int channels, bool gainMode);
// Seconds the device needs: 2.5 for DC offset and gain, 5.0 for AC offset.
double waitSeconds(CalType type);
// The register's number for a word (low 24 bits used).
double registerNumber(const CalRegister& reg, std::int32_t word, GainFormat gainFormat);

// One register read back and what to show for it.
struct Shown {
    const CalRegister* reg;
    std::uint32_t word;  // masked to 24 bits
    double number;
};
using ShowFn = std::function<void(const Shown&)>;
// Fraction of the calibration wait done (0..1).
using ProgressFn = std::function<void(double)>;

// Runs one calibration button: claims the board, sends the command, waits in small steps
// (processing events and reporting progress), reads and shows the registers. Returns 0 or
// the failed command's status (kStatusBusy when another operation owns the board). After
// the all-channel AC offset calibration all four reads are made even when one fails; the
// first failed read's status is then returned.
int runCalibration(BoardLink& link, const CalButton& button, bool gainMode, const ShowFn& show,
                   const ProgressFn& progress = {});
// The same by control name; a name that is no calibration button shows the "not supported"
// message, sends nothing and returns 0.
int calibrateControl(BoardLink& link, std::string_view control, bool gainMode, const ShowFn& show,
                     const ProgressFn& progress = {});

// Writes a typed word into a register, reads it back and shows it.
int writeWord(BoardLink& link, const CalRegister& reg, std::uint32_t word, const ShowFn& show);

// Reads and shows all fourteen registers in refresh order (unsigned gain format); the first
// failed read ends it.
int refresh(BoardLink& link, const ShowFn& show);

// Step of the calibration wait: short enough to keep a window painted.
constexpr double kWaitStep = 0.05;

}  // namespace evkit::calibration
