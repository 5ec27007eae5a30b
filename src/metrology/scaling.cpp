#include "metrology/scaling.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "board/usb_id.h"
#include "metrology/text_file.h"
#include "support/file_writer.h"
#include "support/format.h"

namespace evkit::metrology {

using conversion::Quantity;

namespace {

// Seconds in an hour times watts in a kilowatt: W x s in a kWh.
constexpr double kWsPerKwh = 3.6e6;

}  // namespace

double pulsesPerKwhFromRate(const Scaling& s, int channel, double ratePerSecond) {
    const double p = 0.1 * fullScalePower(s, channel);  // W at which the rate holds
    return p > 0 ? ratePerSecond / p * kWsPerKwh : 0.0;
}

std::array<double, 3> pulseMeterConstants(BoardLink& link, const Scaling& s) {
    if (s.meterConstant > 0) return {s.meterConstant, s.meterConstant, s.meterConstant};
    std::int32_t word = 0;
    if (link.readRegister(1, 14, &word, 24) != 0) return {0, 0, 0};
    const double rate = (word & 0xFFFFFF) / 4.0;
    // The third input counts the sum of both pairs' fractions: in watts as channel 1's
    // (exact when the pairs share their scaling).
    return {pulsesPerKwhFromRate(s, 1, rate), pulsesPerKwhFromRate(s, 2, rate),
            pulsesPerKwhFromRate(s, 1, rate)};
}

const char* unitOf(Quantity q) {
    using namespace conversion;
    switch (q) {
        case V1RMS:
        case V2RMS:
        case V1PEAK:
        case V2PEAK:
            return "V";
        case I1RMS:
        case I2RMS:
        case I1PEAK:
        case I2PEAK:
            return "A";
        case P1AVG:
        case P2AVG:
            return "W";
        case Q1AVG:
        case Q2AVG:
            return "var";
        case S1:
        case S2:
            return "VA";
        default:
            return nullptr;
    }
}

double inUnits(Quantity q, double v, const Scaling& s) {
    const char* unit = unitOf(q);
    if (!unit) return v;
    const auto& c = s.channel[static_cast<size_t>(conversion::info(q).channel - 1)];
    const std::string u = unit;
    if (u == "V") return v * c.volts;
    if (u == "A") return v * c.amperes;
    return v * c.volts * c.amperes;
}

std::string unitKey(Quantity q) {
    const char* unit = unitOf(q);
    return unit ? std::string(conversion::info(q).name) + "_" + unit : std::string();
}

bool setScalingValue(Scaling& s, const std::string& key, double value, std::string* error) {
    double* target = nullptr;
    if (key == "scale-v1") target = &s.channel[0].volts;
    if (key == "scale-i1") target = &s.channel[0].amperes;
    if (key == "scale-v2") target = &s.channel[1].volts;
    if (key == "scale-i2") target = &s.channel[1].amperes;
    if (key == "meter-constant") target = &s.meterConstant;
    if (!target) {
        if (error)
            *error = "unknown scaling key '" + key +
                     "' (known: scale-v1, scale-i1, scale-v2, scale-i2, meter-constant)";
        return false;
    }
    const bool zeroAllowed = key == "meter-constant";
    if (!std::isfinite(value) || value < 0 || (value == 0 && !zeroAllowed) || value > 1e12) {
        if (error) *error = key + " must be a positive number" + (zeroAllowed ? " (or 0)" : "");
        return false;
    }
    *target = value;
    return true;
}

std::optional<Scaling> parseScalingText(const std::string& text, const Scaling& base,
                                        std::string* error) {
    Scaling s = base;
    const std::string why = forEachSetting(
        text, [&](const std::string& key, const std::string& value, const std::string&) {
            char* end = nullptr;
            const double v = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0') return "'" + value + "' is not a number";
            std::string refused;
            setScalingValue(s, key, v, &refused);
            return refused;
        });
    if (!why.empty()) {
        if (error) *error = why;
        return std::nullopt;
    }
    return s;
}

std::optional<Scaling> readScalingFile(const std::string& path, const Scaling& base,
                                       std::string* error) {
    std::string text;
    if (!readTextFile(path, "the scaling file", &text, error)) return std::nullopt;
    std::string why;
    auto s = parseScalingText(text, base, &why);
    if (!s && error) *error = "scaling file \"" + path + "\": " + why;
    return s;
}

std::string scalingText(const Scaling& s) {
    return strprintf(
        "# Engineering units of the evaluation board: volts and amperes at the inputs' full\n"
        "# scale, and the pulse outputs' meter constant (pulses per kWh, 0: from the pulse "
        "rate register).\n"
        "scale-v1 = %.9g\nscale-i1 = %.9g\nscale-v2 = %.9g\nscale-i2 = %.9g\n"
        "meter-constant = %.9g\n",
        s.channel[0].volts, s.channel[0].amperes, s.channel[1].volts, s.channel[1].amperes,
        s.meterConstant);
}

std::string scalingConfigPath() {
    const std::string usb = usbIdConfigPath();
    if (usb.empty()) return {};
    return (std::filesystem::path(usb).parent_path() / "scaling").string();
}

Scaling savedScaling(std::string* problem) {
    const std::string path = scalingConfigPath();
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) return Scaling{};
    std::string why;
    auto s = readScalingFile(path, Scaling{}, &why);
    if (!s) {
        if (problem) *problem = why;
        return Scaling{};
    }
    return *s;
}

bool saveScaling(const Scaling& s, std::string* error) {
    const std::string path = scalingConfigPath();
    if (path.empty()) {
        if (error) *error = "no configuration directory is known (HOME is not set)";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    if (ec) {
        if (error) *error = "cannot create the folder of " + path + ": " + ec.message();
        return false;
    }
    std::string why;
    if (!writeFileAtomically(path, scalingText(s), &why)) {
        if (error) *error = fileWriteErrorText(path, why);
        return false;
    }
    return true;
}

}  // namespace evkit::metrology
