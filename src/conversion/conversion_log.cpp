#include "conversion/conversion_log.h"

#include "calibration/calibration.h"
#include "registers/conversions.h"
#include "support/file_writer.h"
#include "support/format.h"

namespace evkit::conversion {

void setSetupHeaderFields(LogHeaderValues& v, const setup::ConfigFields& config,
                          const setup::ControlFields& control, const setup::OpModeFields& opmode) {
    v.PC1 = config.pc1;
    v.I1_Gain = control.i1Gain;
    v.I2_Gain = control.i2Gain;
    v.PC2 = control.pc2;
    v.I1_HPF = opmode.i1Hpf;
    v.V1_HPF = opmode.v1Hpf;
    v.I2_HPF = opmode.i2Hpf;
    v.V2_HPF = opmode.v2Hpf;
}

void setCalibrationHeaderNumbers(LogHeaderValues& v, const std::array<double, 14>& n) {
    v.I1_DC_Offset = n[0];
    v.I1_AC_Gain = n[1];
    v.V1_DC_Offset = n[2];
    v.V1_AC_Gain = n[3];
    v.I1_AC_Offset = n[5];
    v.V1_AC_Offset = n[6];
    v.I2_DC_Offset = n[7];
    v.I2_AC_Gain = n[8];
    v.V2_DC_Offset = n[9];
    v.V2_AC_Gain = n[10];
    v.I2_AC_Offset = n[12];
    v.V2_AC_Offset = n[13];
}

LogHeaderValues decodeLogHeaderValues(int chip, const HeaderRegisterWords& w) {
    LogHeaderValues v;
    v.chip = chip;
    setSetupHeaderFields(v, setup::DecodeConfig(w.config), setup::DecodeControl(w.control),
                         setup::DecodeOperationalMode(w.opmode, {}));
    // The calibration window's refresh shows gains in the unsigned format.
    std::array<double, 14> numbers{};
    for (int a = 0; a < 14; ++a)
        numbers[static_cast<size_t>(a)] = calibration::registerNumber(
            *calibration::registerAt(a), static_cast<std::int32_t>(w.calibration[static_cast<size_t>(a)]),
            calibration::GainFormat::Unsigned);
    setCalibrationHeaderNumbers(v, numbers);
    return v;
}

int readLogHeaderValues(BoardLink& link, int chip, LogHeaderValues* out, int width) {
    HeaderRegisterWords w;
    int status = 0;
    const auto read = [&](int page, int address, std::uint32_t* word) {
        if (status != 0) return;
        std::int32_t v = 0;
        status = link.readRegister(page, address, &v, width);
        if (status == 0) *word = static_cast<std::uint32_t>(v) & 0xFFFFFFu;
    };
    read(0, 0, &w.config);
    read(0, 28, &w.control);
    read(1, 16, &w.opmode);
    for (int a = 0; a < 14; ++a) read(1, a, &w.calibration[static_cast<size_t>(a)]);
    *out = decodeLogHeaderValues(chip, w);
    return status;
}

LoggedValues loggedValues(const Values& c, double lineFrequency) {
    return {c[V1RMS],  c[I1RMS],  c[P1AVG],  c[S1],     c[Q1AVG],      c[PF1],
            c[V1PEAK], c[I1PEAK], c[V2RMS],  c[I2RMS],  c[P2AVG],      c[S2],
            c[Q2AVG],  c[PF2],    c[V2PEAK], c[I2PEAK], lineFrequency, c[T]};
}

std::string logHeaderText(const LogHeaderValues& v) {
    std::string s = strprintf("Device=PM70%i\n", v.chip);
    s += "\n";
    s += strprintf(
        "I1_Gain=%i,I1_HPF=%i,V1_HPF=%i,PC1=%i,V1_DC_Offset=%f,I1_DC_Offset=%f,V1_AC_Gain=%f,"
        "I1_AC_Gain=%f,V1_AC_Offset=%f,I1_AC_Offset=%f\n",
        v.I1_Gain, v.I1_HPF, v.V1_HPF, v.PC1, v.V1_DC_Offset, v.I1_DC_Offset, v.V1_AC_Gain,
        v.I1_AC_Gain, v.V1_AC_Offset, v.I1_AC_Offset);
    s += strprintf(
        "I2_Gain=%i,I2_HPH=%i,V2_HPF=%i,PC2=%i,V2_DC_Offset=%f,I2_DC_Offset=%f,V2_AC_Gain=%f,"
        "I2_AC_Gain=%f,V2_AC_Offset=%f,I2_AC_Offset=%f\n\n",
        v.I2_Gain, v.I2_HPF, v.V2_HPF, v.PC2, v.V2_DC_Offset, v.I2_DC_Offset, v.V2_AC_Gain,
        v.I2_AC_Gain, v.V2_AC_Offset, v.I2_AC_Offset);
    s += "n,V1rms,   I1rms    ,P1avg     ,S1     ,Q1avg     ,PF1     ,V1peak   ,I1peak   ,"
         "V2rms   ,I2rms   ,P2avg   ,S2     ,Q2avg     ,PF2     ,V2peak   ,I2peak   ,Epsilon,  "
         "T\n";
    return s;
}

std::string logDataLine(int lineNumber, const LoggedValues& values) {
    std::string s = strprintf("%i,", lineNumber);
    for (double v : values) s += strprintf("%f,", v);
    s += "\n";
    return s;
}

bool ConversionLog::open(const std::string& path, const LogHeaderValues& header,
                         std::string* error) {
    edw_i = 0;
    path_ = path;
    return writeFileAtomically(path, logHeaderText(header), error);
}

bool ConversionLog::append(const LoggedValues& values, std::string* error) {
    ++edw_i;
    return appendToFile(path_, logDataLine(edw_i, values), error);
}

}  // namespace evkit::conversion
