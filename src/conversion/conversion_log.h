#pragma once
// The conversion log: a text file with a six-line header (device, channel settings and
// calibration values in force) and one comma-separated line of 18 shown values per append.
#include <array>
#include <cstdint>
#include <string>

#include "board/board_link.h"
#include "conversion/record.h"
#include "setup/setup_registers.h"

namespace evkit::conversion {

// The settings recorded in the log header, as the setup and calibration windows show them.
struct LogHeaderValues {
    int chip = 0;
    // Setup window fields.
    int I1_Gain = 0, I1_HPF = 0, V1_HPF = 0, PC1 = 0;
    int I2_Gain = 0, I2_HPF = 0, V2_HPF = 0, PC2 = 0;
    // Calibration window numbers.
    double V1_DC_Offset = 0, I1_DC_Offset = 0, V1_AC_Gain = 0, I1_AC_Gain = 0;
    double V1_AC_Offset = 0, I1_AC_Offset = 0;
    double V2_DC_Offset = 0, I2_DC_Offset = 0, V2_AC_Gain = 0, I2_AC_Gain = 0;
    double V2_AC_Offset = 0, I2_AC_Offset = 0;
};

// Fills the header values from the device's registers, decoded as the setup window's
// decoders and the calibration window's refresh show them: configuration 0:0 (PC1), control
// 0:28 (I1/I2 gain, PC2), operational mode 1:16 (the four high-pass flags) and calibration
// registers 1:0..1:13. Returns 0 or the status of the first failed read (values read before
// it are kept). To be replaced by the setup and calibration windows' own values once they
// exist side by side with the monitor.
int readLogHeaderValues(BoardLink& link, int chip, LogHeaderValues* out, int width = 24);

// The field decoding used above, for a set of register words.
struct HeaderRegisterWords {
    std::uint32_t config = 0, control = 0, opmode = 0;
    std::array<std::uint32_t, 14> calibration{};  // 1:0 .. 1:13
};
LogHeaderValues decodeLogHeaderValues(int chip, const HeaderRegisterWords& words);
// The header's setup fields from decoded setup registers, and its calibration numbers from
// the fourteen calibration registers' numbers (1:0 .. 1:13), e.g. as their windows show them.
void setSetupHeaderFields(LogHeaderValues& v, const setup::ConfigFields& config,
                          const setup::ControlFields& control, const setup::OpModeFields& opmode);
void setCalibrationHeaderNumbers(LogHeaderValues& v, const std::array<double, 14>& numbers);

// The logged columns: the 16 channel values, the line frequency and the temperature.
constexpr int kLoggedValues = 18;
using LoggedValues = std::array<double, kLoggedValues>;
LoggedValues loggedValues(const Values& current, double lineFrequency);

std::string logHeaderText(const LogHeaderValues& v);
std::string logDataLine(int lineNumber, const LoggedValues& values);

// The log as the window drives it: no file is held open between appends.
class ConversionLog {
  public:
    // Creates the file anew and writes the header (whole or not at all); edw_i restarts at
    // 0. False when the file could not be written (`error` says why; an existing file at the
    // path is left as it was).
    bool open(const std::string& path, const LogHeaderValues& header, std::string* error = nullptr);
    // Appends one line numbered edw_i + 1. False when the line could not be written whole
    // (`error` says why); the count still advances, as the line number is the log's own
    // counter.
    bool append(const LoggedValues& values, std::string* error = nullptr);
    // The reset command: counting starts again at 0.
    void reset() { edw_i = 0; }

    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }
    int edw_i = 0;

  private:
    std::string path_;
};

}  // namespace evkit::conversion
