#include "calibration/calibration.h"

#include <algorithm>
#include <cctype>

#include "registers/conversions.h"

namespace evkit::calibration {

const std::array<CalRegister, 14>& registers() {
    static const std::array<CalRegister, 14> table = {{
        {0, "I1_DC_Offset", false, "CAL_I1_DC_OFFSET_HEX", "CAL_I1_DC_OFFSET"},
        {1, "I1_AC_Gain", true, "CAL_I1_AC_GAIN_HEX", "CAL_I1_AC_GAIN"},
        {2, "V1_DC_Offset", false, "CAL_V1_DC_OFFSET_HEX", "CAL_V1_DC_OFFSET"},
        {3, "V1_AC_Gain", true, "CAL_V1_AC_GAIN_HEX", "CAL_V1_AC_GAIN"},
        {4, "REG_1_4", false, "CAL_REG_1_4_HEX", "CAL_REG_1_4"},
        {5, "I1_AC_Offset", false, "CAL_I1_AC_OFFSET_HEX", "CAL_I1_AC_OFFSET"},
        {6, "V1_AC_Offset", false, "CAL_V1_AC_OFFSET_HEX", "CAL_V1_AC_OFFSET"},
        {7, "I2_DC_Offset", false, "CAL_I2_DC_OFFSET_HEX", "CAL_I2_DC_OFFSET"},
        {8, "I2_AC_Gain", true, "CAL_I2_AC_GAIN_HEX", "CAL_I2_AC_GAIN"},
        {9, "V2_DC_Offset", false, "CAL_V2_DC_OFFSET_HEX", "CAL_V2_DC_OFFSET"},
        {10, "V2_AC_Gain", true, "CAL_V2_AC_GAIN_HEX", "CAL_V2_AC_GAIN"},
        {11, "REG_1_11", false, "CAL_REG_1_11_HEX", "CAL_REG_1_11"},
        {12, "I2_AC_Offset", false, "CAL_I2_AC_OFFSET_HEX", "CAL_I2_AC_OFFSET"},
        {13, "V2_AC_Offset", false, "CAL_V2_AC_OFFSET_HEX", "CAL_V2_AC_OFFSET"},
    }};
    return table;
}

const std::vector<CalButton>& buttons() {
    static const std::vector<CalButton> table = {
        {"CAL_DC_OFFSET_I1", CalType::DcOffset, kI1, {0}},
        {"CAL_DC_OFFSET_V1", CalType::DcOffset, kV1, {2}},
        {"CAL_DC_OFFSET_I2", CalType::DcOffset, kI2, {7}},
        {"CAL_DC_OFFSET_V2", CalType::DcOffset, kV2, {9}},
        {"CAL_DC_OFFSET_ALL", CalType::DcOffset, kAll, {2, 0, 9, 7}},
        {"CAL_GAIN_I1", CalType::Gain, kI1, {1}},
        {"CAL_GAIN_V1", CalType::Gain, kV1, {3}},
        {"CAL_GAIN_I2", CalType::Gain, kI2, {8}},
        {"CAL_GAIN_V2", CalType::Gain, kV2, {10}},
        {"CAL_GAIN_ALL", CalType::Gain, kAll, {3, 1, 10, 8}},
        {"CAL_AC_OFFSET_I1", CalType::AcOffset, kI1, {5}},
        {"CAL_AC_OFFSET_V1", CalType::AcOffset, kV1, {6}},
        {"CAL_AC_OFFSET_I2", CalType::AcOffset, kI2, {12}},
        {"CAL_AC_OFFSET_V2", CalType::AcOffset, kV2, {13}},
        {"CAL_AC_OFFSET_ALL", CalType::AcOffset, kAll, {6, 5, 13, 12}},
    };
    return table;
}

const std::array<int, 14>& refreshOrder() {
    static const std::array<int, 14> order = {2, 0, 9, 7, 5, 6, 12, 13, 3, 1, 10, 8, 4, 11};
    return order;
}

const CalRegister* registerAt(int address) {
    if (address < 0 || address >= static_cast<int>(registers().size())) return nullptr;
    return &registers()[static_cast<size_t>(address)];
}

const CalRegister* registerNamed(std::string_view name) {
    for (const auto& r : registers()) {
        const std::string_view own = r.name;
        if (own.size() == name.size() &&
            std::equal(own.begin(), own.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return &r;
    }
    return nullptr;
}

const CalRegister* registerByWordControl(std::string_view control) {
    for (const auto& r : registers())
        if (control == r.wordControl) return &r;
    return nullptr;
}

const CalButton* findButton(std::string_view control) {
    for (const auto& b : buttons())
        if (control == b.control) return &b;
    return nullptr;
}

const CalButton* findButton(CalType type, int channels) {
    for (const auto& b : buttons())
        if (b.type == type && b.channels == channels) return &b;
    return nullptr;
}

int commandByte(CalType type, int channels, bool gainMode) {
    int typeBits = 0x00;
    switch (type) {
        case CalType::DcOffset:
            typeBits = 0x00;
            break;
        case CalType::AcOffset:
            typeBits = 0x20;
            break;
        case CalType::Gain:
            typeBits = gainMode ? 0x10 : 0x30;
            break;
    }
    return 0x80 + typeBits + (channels & 0xF);
}

double waitSeconds(CalType type) {
    return type == CalType::AcOffset ? 5.0 : 2.5;
}

double registerNumber(const CalRegister& reg, std::int32_t word, GainFormat gainFormat) {
    if (reg.gain) return Hex_to_Decimal(word, 2, gainFormat == GainFormat::Signed ? 1 : 0);
    return Hex_to_TwosComp(word & 0xFFFFFF);
}

namespace {

// Reads one register and shows it; returns the read's status (nothing shown on failure).
int readAndShow(BoardLink& link, const CalRegister& reg, GainFormat format, const ShowFn& show) {
    std::int32_t word = 0;
    const int status = link.readRegister(kCalPage, reg.address, &word);
    if (status != 0) return status;
    const auto masked = static_cast<std::uint32_t>(word) & 0xFFFFFFu;
    if (show) show({&reg, masked, registerNumber(reg, static_cast<std::int32_t>(masked), format)});
    return 0;
}

// Waits while the device calibrates, in short steps so the window stays painted; the board
// stays claimed, so commands arriving from events are refused.
void waitWhileCalibrating(BoardLink& link, double seconds, const ProgressFn& progress) {
    Clock& clock = link.clock();
    const double start = clock.now();
    const double end = start + seconds;
    if (progress) progress(0.0);
    for (;;) {
        const double now = clock.now();
        if (now >= end) break;
        clock.delay(std::min(kWaitStep, end - now));
        link.processEvents();
        if (progress) progress(std::min(1.0, (clock.now() - start) / seconds));
    }
    if (progress) progress(1.0);
}

}  // namespace

int runCalibration(BoardLink& link, const CalButton& button, bool gainMode, const ShowFn& show,
                   const ProgressFn& progress) {
    BoardClaim claim(link, "a calibration");
    if (!claim.ok()) return kStatusBusy;
    BoardSequence sequence(link);  // a lost board is said once
    const int status = link.sendCommand(commandByte(button.type, button.channels, gainMode));
    if (status != 0) return status;
    waitWhileCalibrating(link, waitSeconds(button.type), progress);
    // The all-channel AC offset calibration reads and shows all four registers it can; a
    // failed read still makes its status the result, so no caller reports it as done.
    const bool untested = button.type == CalType::AcOffset && button.channels == kAll;
    int firstFailure = 0;
    for (int address : button.reads) {
        const int s = readAndShow(link, *registerAt(address), GainFormat::Unsigned, show);
        if (s != 0 && (!untested || sequence.lost())) return s;
        if (firstFailure == 0) firstFailure = s;
    }
    return firstFailure;
}

int calibrateControl(BoardLink& link, std::string_view control, bool gainMode, const ShowFn& show,
                     const ProgressFn& progress) {
    const CalButton* button = findButton(control);
    if (!button) {
        link.messages().show(kNotCalibrationTitle, kNotCalibrationText);
        return 0;
    }
    return runCalibration(link, *button, gainMode, show, progress);
}

int writeWord(BoardLink& link, const CalRegister& reg, std::uint32_t word, const ShowFn& show) {
    const int status = link.writeRegister(kCalPage, reg.address, word & 0xFFFFFFu);
    if (status != 0) return status;
    return readAndShow(link, reg, GainFormat::Unsigned, show);
}

int refresh(BoardLink& link, const ShowFn& show) {
    for (int address : refreshOrder()) {
        const int s = readAndShow(link, *registerAt(address), GainFormat::Unsigned, show);
        if (s != 0) return s;
    }
    return 0;
}

}  // namespace evkit::calibration
