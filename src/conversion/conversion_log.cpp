#include "conversion/conversion_log.h"

#include <cstdio>
#include <memory>

#include "registers/conversions.h"
#include "support/format.h"

namespace evkit::conversion {

namespace {

int signed8(std::uint32_t word, int shift) {
    return static_cast<int>(static_cast<std::int8_t>((word >> shift) & 0xFF));
}
int bit(std::uint32_t word, int n) {
    return static_cast<int>((word >> n) & 1u);
}

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool writeAll(const std::string& path, const char* mode, const std::string& text) {
    File f(std::fopen(path.c_str(), mode));
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f.get()) == text.size();
    return std::fclose(f.release()) == 0 && ok;
}

}  // namespace

LogHeaderValues decodeLogHeaderValues(int chip, const HeaderRegisterWords& w) {
    LogHeaderValues v;
    v.chip = chip;
    v.PC1 = signed8(w.config, 16);
    v.I1_Gain = bit(w.control, 5);
    v.I2_Gain = bit(w.control, 12);
    v.PC2 = signed8(w.control, 16);
    v.I1_HPF = bit(w.opmode, 5);
    v.V1_HPF = bit(w.opmode, 6);
    v.I2_HPF = bit(w.opmode, 7);
    v.V2_HPF = bit(w.opmode, 8);
    const auto offset = [&](int a) {
        return Hex_to_TwosComp(static_cast<std::int32_t>(w.calibration[static_cast<size_t>(a)]));
    };
    // The calibration refresh shows gains unsigned with two integer bits.
    const auto gain = [&](int a) {
        return Hex_to_Decimal(static_cast<std::int32_t>(w.calibration[static_cast<size_t>(a)]), 2,
                              0);
    };
    v.I1_DC_Offset = offset(0);
    v.I1_AC_Gain = gain(1);
    v.V1_DC_Offset = offset(2);
    v.V1_AC_Gain = gain(3);
    v.I1_AC_Offset = offset(5);
    v.V1_AC_Offset = offset(6);
    v.I2_DC_Offset = offset(7);
    v.I2_AC_Gain = gain(8);
    v.V2_DC_Offset = offset(9);
    v.V2_AC_Gain = gain(10);
    v.I2_AC_Offset = offset(12);
    v.V2_AC_Offset = offset(13);
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

bool ConversionLog::open(const std::string& path, const LogHeaderValues& header) {
    edw_i = 0;
    path_ = path;
    return writeAll(path, "w", logHeaderText(header));
}

bool ConversionLog::append(const LoggedValues& values) {
    ++edw_i;
    return writeAll(path_, "a+", logDataLine(edw_i, values));
}

}  // namespace evkit::conversion
