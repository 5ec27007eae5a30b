#pragma once
// Temperature sensor settings: the gain (1:22) and offset (1:23) registers in scaled units,
// the switch between the two scales (factor 1.8) and the quick offset correction.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "board/board_link.h"

namespace evkit::temperature {

constexpr int kPage = 1;
constexpr int kGainAddress = 22;
constexpr int kOffsetAddress = 23;

constexpr double kDisplayScale = 833.333;
constexpr double kGainDivisor = 128.0;
constexpr double kScaleFactor = 1.8;
constexpr double kScaleOffsetStep = 0.00486693763922;
constexpr double kQuickSetStep = 0.0002737649;
// Gain words above this show the up scale.
constexpr std::uint32_t kUpScaleThreshold = 3465959;

// Raw register numbers: g in the signed format with 7 integer bits, o a signed fraction.
double gainRaw(std::uint32_t word);
double offsetRaw(std::uint32_t word);
// Shown values: 833.333 / (128 g) and 833.333 o. A gain word of 0 gives infinity.
double gainValue(std::uint32_t word);
double offsetValue(std::uint32_t word);

// Words for typed values, or nullopt with the reason in *why when the register cannot hold
// them (a gain value of 0 would need an infinite g; values beyond the formats' ranges would
// wrap around).
std::optional<std::uint32_t> gainWordForRaw(double g, std::string* why);
std::optional<std::uint32_t> gainWordForValue(double value, std::string* why);
std::optional<std::uint32_t> offsetWordForRaw(double o, std::string* why);
std::optional<std::uint32_t> offsetWordForValue(double value, std::string* why);

constexpr const char* kEntryErrorTitle = "Error";

// What the panel (or the command line) shows.
class View {
  public:
    virtual ~View() = default;
    virtual void showGainWord(std::uint32_t word) = 0;
    virtual void showGainValue(double value) = 0;
    virtual void showOffsetWord(std::uint32_t word) = 0;
    virtual void showOffsetValue(double value) = 0;
    virtual void setScaleBoxes(bool down, bool up) = 0;
    // A register was written but could not be read back: what was shown of it may no longer
    // be the device's value.
    virtual void gainUnknown() {}
    virtual void offsetUnknown() {}
};

enum class ScaleBox { Down, Up };

// The temperature settings over one board link. `selection` lives for the whole run.
class TemperatureSettings {
  public:
    explicit TemperatureSettings(BoardLink& link) : link_(link) {}

    // Word entries: write, read back, show word and value.
    int gainWordEntry(std::uint32_t word, View& view);
    int offsetWordEntry(std::uint32_t word, View& view);
    // Value entries: convert, write, read back, show. A value the register cannot hold is
    // refused with a message (status kStatusRefused) and nothing is written.
    int gainValueEntry(double value, View& view);
    int offsetValueEntry(double value, View& view);
    // Reads the offset, adds 0.0002737649 q and writes it through the offset value entry.
    int quickSet(double q, View& view);
    // A scale box was committed with its new state. Setting the scale already in force
    // writes nothing; setting the other one scales both registers once.
    int scaleChange(ScaleBox box, bool set, View& view);
    // Reads both registers and shows them and the scale in force.
    int refresh(View& view);

    // The scale in force: the last choice, or before any choice the gain word's indicator
    // (above kUpScaleThreshold: up); nullopt when neither is known.
    std::optional<ScaleBox> scaleInForce(std::optional<std::uint32_t> gainWord) const;

    // The last choice: {1, 0, 0} down, {0, 1, 0} up, all 0 before any choice.
    std::array<int, 3> selection{0, 0, 0};

  private:
    void showScale(View& view) const;
    void showGain(std::uint32_t word, View& view);
    void forgetGain(View& view);
    // Writes the word and reads it back.
    struct Confirmed {
        int status = 0;         // first failing status
        bool readBack = false;  // `back` is the device's word
        bool took = false;      // the device holds the word written
        std::uint32_t back = 0;
    };
    Confirmed writeConfirmed(int address, std::uint32_t word);
    // Writes a scale's gain and offset words as one change (see scaleChange).
    int writeScalePair(bool up, std::uint32_t oldGain, std::uint32_t newGain,
                       std::uint32_t newOffset, View& view);

    int readBack(int address, std::uint32_t* word);
    bool refuse(const std::string& why);

    BoardLink& link_;
    std::optional<std::uint32_t> lastGainWord_;  // last gain word read from the device
};

// Status of a typed value the registers cannot hold (message shown, nothing sent).
constexpr int kStatusRefused = -120;

}  // namespace evkit::temperature
