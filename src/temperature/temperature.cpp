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
// The register's last bit, and the largest gain value magnitude it can hold.
constexpr double kGainRawStep = 0x1p-17;
const double kMaxGainValue = kDisplayScale / (kGainDivisor * kGainRawStep);
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
    const auto word = static_cast<std::uint32_t>(Decimal_to_Hex(g, 7)) & 0xFFFFFFu;
    if (word == 0 && g != 0.0) {
        // Below the register's last bit: the word would be 0, an infinite gain value.
        if (why)
            *why = strprintf(
                "The temperature gain would be %g, closer to 0 than the gain register's "
                "smallest step (2^-17). Nothing was written.",
                g);
        return std::nullopt;
    }
    return word;
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
    if (std::isfinite(g) && std::abs(g) < kGainRawStep) {
        if (why)
            *why = strprintf(
                "The temperature gain value %g is too large: its magnitude must be at most "
                "%.7g. Nothing was written.",
                value, kMaxGainValue);
        return std::nullopt;
    }
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
    lastGainWord_ = back;
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
    // Written through the displayed value; the display changes only to the read-back, so a
    // refused or failed correction leaves the device's value shown.
    return offsetValueEntry(kDisplayScale * o, view);
}

std::optional<ScaleBox> TemperatureSettings::scaleInForce(
    std::optional<std::uint32_t> gainWord) const {
    if (selection[0] != 0) return ScaleBox::Down;
    if (selection[1] != 0) return ScaleBox::Up;
    if (!gainWord) return std::nullopt;
    return *gainWord > kUpScaleThreshold ? ScaleBox::Up : ScaleBox::Down;
}

void TemperatureSettings::showScale(View& view) const {
    const auto scale = scaleInForce(lastGainWord_);
    view.setScaleBoxes(scale == ScaleBox::Down, scale == ScaleBox::Up);
}

TemperatureSettings::Confirmed TemperatureSettings::writeConfirmed(int address,
                                                                   std::uint32_t word) {
    Confirmed c;
    const int write = link_.writeRegister(kPage, address, word);
    const int read = readBack(address, &c.back);
    c.readBack = read == 0;
    // A failed write may still have reached the device (when the page frame after it failed):
    // the read-back decides; without one, the write's status does.
    c.took = c.readBack ? c.back == word : write == 0;
    c.status = write != 0 ? write : read;
    return c;
}

int TemperatureSettings::writeScalePair(bool up, std::uint32_t oldGain, std::uint32_t newGain,
                                        std::uint32_t newOffset, View& view) {
    // The gain and the offset of a scale belong together: once the device holds the new gain
    // the offset follows, and an offset the device did not take puts the previous gain back,
    // so it never keeps one scale's gain with the other's offset. Each value is shown from
    // its read-back word (the device holds the word's value, not the scaled number).
    BoardSequence sequence(link_);  // a lost board is said once and ends the change
    const Confirmed gain = writeConfirmed(kGainAddress, newGain);
    if (gain.readBack) showGain(gain.back, view);
    if (!gain.took) return gain.status;  // nothing changed, as far as the device said
    const std::array<int, 3> previous = selection;
    selection = up ? std::array<int, 3>{0, 1, 0} : std::array<int, 3>{1, 0, 0};
    if (sequence.lost()) return gain.status;
    const Confirmed offset = writeConfirmed(kOffsetAddress, newOffset);
    const auto showOffset = [&view](std::uint32_t word) {
        view.showOffsetWord(word);
        view.showOffsetValue(offsetValue(word));
    };
    if (offset.readBack)
        showOffset(offset.back);
    else
        view.offsetUnknown();
    const int status = gain.status != 0 ? gain.status : offset.status;
    if (sequence.lost()) return status;
    if (!offset.took) {
        selection = previous;
        const Confirmed restored = writeConfirmed(kGainAddress, oldGain);
        if (restored.readBack)
            showGain(restored.back, view);
        else
            forgetGain(view);
    } else {
        // A read-back that failed: show what the device holds once it can be read.
        std::uint32_t back = 0;
        if (!gain.readBack && readBack(kGainAddress, &back) == 0) showGain(back, view);
        if (!offset.readBack && readBack(kOffsetAddress, &back) == 0) showOffset(back);
    }
    return status;
}

void TemperatureSettings::forgetGain(View& view) {
    lastGainWord_.reset();
    view.gainUnknown();
}

void TemperatureSettings::showGain(std::uint32_t word, View& view) {
    lastGainWord_ = word;
    view.showGainWord(word);
    view.showGainValue(gainValue(word));
}

int TemperatureSettings::scaleChange(ScaleBox box, bool set, View& view) {
    int status = 0;
    if (set) {
        const bool up = box == ScaleBox::Up;
        std::uint32_t offsetWord = 0, gainWord = 0;
        status = readBack(kOffsetAddress, &offsetWord);
        if (status == 0) status = readBack(kGainAddress, &gainWord);
        if (status == 0 && scaleInForce(gainWord) == box) {
            // The scale asked for is already in force: the registers stay as they are.
            selection = up ? std::array<int, 3>{0, 1, 0} : std::array<int, 3>{1, 0, 0};
        } else if (status == 0) {
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
                status = writeScalePair(up, gainWord, *newGain, *newOffset, view);
            }
        }
    }
    // Set or cleared: the boxes show the scale in force, so they act as a radio pair.
    showScale(view);
    return status;
}

int TemperatureSettings::refresh(View& view) {
    std::uint32_t offsetWord = 0, gainWord = 0;
    if (int s = readBack(kOffsetAddress, &offsetWord)) return s;
    view.showOffsetWord(offsetWord);
    view.showOffsetValue(offsetValue(offsetWord));
    if (int s = readBack(kGainAddress, &gainWord)) return s;
    lastGainWord_ = gainWord;
    view.showGainWord(gainWord);
    view.showGainValue(gainValue(gainWord));
    showScale(view);
    return 0;
}

}  // namespace evkit::temperature
