#include "temperature/temperature.h"

#include <cmath>

#include "registers/conversions.h"
#include "support/format.h"

namespace evkit::temperature {

namespace {
constexpr double kGainRawMin = -64.0;  // the gain register's signed format, 7 integer bits
constexpr double kGainRawMax = 64.0;   // exclusive
// Smallest gain value magnitude the register can reach: 833.333 / (128 * 64).
const double kMinGainValue = kDisplayScale / (kGainDivisor * kGainRawMax);
}  // namespace

double gainRaw(std::uint32_t word) {
    return Hex_to_Decimal(static_cast<std::int32_t>(word), 7, 1);
}
double offsetRaw(std::uint32_t word) {
    return Hex_to_TwosComp(static_cast<std::int32_t>(word & 0xFFFFFF));
}

double gainValue(std::uint32_t word) {
    const double g = gainRaw(word);
    if (g == 0.0) return INFINITY;
    return kDisplayScale / (kGainDivisor * g);
}

double offsetValue(std::uint32_t word) {
    return kDisplayScale * offsetRaw(word);
}

std::optional<std::uint32_t> gainWordForRaw(double g, std::string* why) {
    if (!std::isfinite(g) || g < kGainRawMin || g >= kGainRawMax) {
        if (why)
            *why = strprintf(
                "The temperature gain would be %g, outside the range -64 to 64 that the gain "
                "register holds. Nothing was written.",
                g);
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(Decimal_to_Hex(g, 7)) & 0xFFFFFFu;
}

std::optional<std::uint32_t> gainWordForValue(double value, std::string* why) {
    if (value == 0.0 || !std::isfinite(value)) {
        if (why)
            *why =
                "A temperature gain value of 0 cannot be set: the gain register would have "
                "to be infinite. Nothing was written.";
        return std::nullopt;
    }
    const double g = kDisplayScale / (kGainDivisor * value);
    if (!std::isfinite(g) || g < kGainRawMin || g >= kGainRawMax) {
        if (why)
            *why = strprintf(
                "The temperature gain value %g is too small: its magnitude must be larger "
                "than %.7f. Nothing was written.",
                value, kMinGainValue);
        return std::nullopt;
    }
    return gainWordForRaw(g, why);
}

std::optional<std::uint32_t> offsetWordForRaw(double o, std::string* why) {
    if (!std::isfinite(o) || o < -1.0 || o > 1.0) {
        if (why)
            *why = strprintf(
                "The temperature offset value %g is outside the range -%g to %g that the offset "
                "register holds. Nothing was written.",
                kDisplayScale * o, kDisplayScale, kDisplayScale);
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(TwosComp_to_Hex(o)) & 0xFFFFFFu;
}

std::optional<std::uint32_t> offsetWordForValue(double value, std::string* why) {
    return offsetWordForRaw(value / kDisplayScale, why);
}

int TemperatureSettings::readBack(int address, std::uint32_t* word) {
    std::int32_t w = 0;
    const int status = link_.readRegister(kPage, address, &w);
    if (status == 0) *word = static_cast<std::uint32_t>(w) & 0xFFFFFFu;
    return status;
}

bool TemperatureSettings::refuse(const std::string& why) {
    link_.messages().show(kEntryErrorTitle, why);
    return false;
}

int TemperatureSettings::gainWordEntry(std::uint32_t word, View& view) {
    if (int s = link_.writeRegister(kPage, kGainAddress, word & 0xFFFFFFu)) return s;
    std::uint32_t back = 0;
    if (int s = readBack(kGainAddress, &back)) return s;
    view.showGainWord(back);
    view.showGainValue(gainValue(back));
    return 0;
}

int TemperatureSettings::offsetWordEntry(std::uint32_t word, View& view) {
    if (int s = link_.writeRegister(kPage, kOffsetAddress, word & 0xFFFFFFu)) return s;
    std::uint32_t back = 0;
    if (int s = readBack(kOffsetAddress, &back)) return s;
    view.showOffsetWord(back);
    view.showOffsetValue(offsetValue(back));
    return 0;
}

int TemperatureSettings::gainValueEntry(double value, View& view) {
    std::string why;
    const auto word = gainWordForValue(value, &why);
    if (!word) {
        refuse(why);
        return kStatusRefused;
    }
    return gainWordEntry(*word, view);
}

int TemperatureSettings::offsetValueEntry(double value, View& view) {
    std::string why;
    const auto word = offsetWordForValue(value, &why);
    if (!word) {
        refuse(why);
        return kStatusRefused;
    }
    return offsetWordEntry(*word, view);
}

int TemperatureSettings::quickSet(double q, View& view) {
    std::uint32_t word = 0;
    if (int s = readBack(kOffsetAddress, &word)) return s;
    const double o = offsetRaw(word) + kQuickSetStep * q;
    const double shown = kDisplayScale * o;
    view.showOffsetValue(shown);
    return offsetValueEntry(shown, view);
}

int TemperatureSettings::scaleChange(ScaleBox box, bool set, View& view) {
    int status = 0;
    if (set) {
        const bool up = box == ScaleBox::Up;
        std::uint32_t offsetWord = 0, gainWord = 0;
        status = readBack(kOffsetAddress, &offsetWord);
        if (status == 0) status = readBack(kGainAddress, &gainWord);
        if (status == 0) {
            // Both new words are checked before anything is written, so a refused change
            // leaves the registers and the choice as they were.
            const double g =
                up ? gainRaw(gainWord) * kScaleFactor : gainRaw(gainWord) / kScaleFactor;
            const double o = up ? offsetRaw(offsetWord) + kScaleOffsetStep
                                : offsetRaw(offsetWord) - kScaleOffsetStep;
            std::string why;
            const auto newGain = gainWordForRaw(g, &why);
            const auto newOffset = newGain ? offsetWordForRaw(o, &why) : std::nullopt;
            if (!newGain || !newOffset) {
                refuse(why);
                status = kStatusRefused;
            } else {
                selection = up ? std::array<int, 3>{0, 1, 0} : std::array<int, 3>{1, 0, 0};
                view.setScaleBoxes(selection[0] != 0, selection[1] != 0);
                view.showGainValue(kDisplayScale / (kGainDivisor * g));
                std::uint32_t back = 0;
                status = link_.writeRegister(kPage, kGainAddress, *newGain);
                if (status == 0) status = readBack(kGainAddress, &back);
                if (status == 0) {
                    view.showGainWord(back);
                    view.showOffsetValue(kDisplayScale * o);
                    status = link_.writeRegister(kPage, kOffsetAddress, *newOffset);
                }
                if (status == 0) status = readBack(kOffsetAddress, &back);
                if (status == 0) view.showOffsetWord(back);
            }
        }
    }
    // Set or cleared: the boxes show the last choice, so they act as a radio pair.
    view.setScaleBoxes(selection[0] != 0, selection[1] != 0);
    return status;
}

int TemperatureSettings::refresh(View& view) {
    std::uint32_t offsetWord = 0, gainWord = 0;
    if (int s = readBack(kOffsetAddress, &offsetWord)) return s;
    view.showOffsetWord(offsetWord);
    view.showOffsetValue(offsetValue(offsetWord));
    if (int s = readBack(kGainAddress, &gainWord)) return s;
    view.showGainWord(gainWord);
    view.showGainValue(gainValue(gainWord));
    const bool up = gainWord > kUpScaleThreshold;
    view.setScaleBoxes(!up, up);
    selection = {up ? 0 : 1, up ? 1 : 0, 0};
    return 0;
}

}  // namespace evkit::temperature
