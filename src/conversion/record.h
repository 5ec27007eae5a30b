#pragma once
// The 60-byte result record the board streams once per computation cycle: twenty 24-bit
// words, least significant byte first, and the twenty quantities they stand for.
#include <array>
#include <cstdint>
#include <string>

namespace evkit::conversion {

constexpr int kQuantities = 20;
constexpr int kRecordBytes = 60;

// The quantities in the order the monitor keeps and shows them.
enum Quantity : int {
    V1RMS,
    I1RMS,
    P1AVG,
    S1,
    Q1AVG,
    PF1,
    V1PEAK,
    I1PEAK,
    V2RMS,
    I2RMS,
    P2AVG,
    S2,
    Q2AVG,
    PF2,
    V2PEAK,
    I2PEAK,
    EXTRA_1,
    EXTRA_2,
    EXTRA_3,
    T,
};

// How a record word becomes a number.
enum class WordFormat {
    TwosComp,         // signed, one integer bit (-1 .. 1)
    Unsigned0,        // unsigned, no integer bit (0 .. 1)
    MaskedUnsigned1,  // bit 23 ignored, unsigned with one integer bit (0 .. 1)
    Signed8,          // signed, eight integer bits (-128 .. 128)
};

struct QuantityInfo {
    Quantity quantity;
    const char* name;  // "V1RMS"; the display controls are CONV_ + name (+ _AVG, _SD)
    int word;          // position of its word in the record
    WordFormat format;
    int channel;  // 1, 2, or 0 for the further results and the temperature
};

// Indexed by Quantity.
const std::array<QuantityInfo, kQuantities>& quantityTable();
inline const QuantityInfo& info(int q) {
    return quantityTable()[static_cast<size_t>(q)];
}

using Values = std::array<double, kQuantities>;        // indexed by Quantity
using Words = std::array<std::uint32_t, kQuantities>;  // indexed by record word position

// Splits a record into its twenty words (bits 24..31 zero).
Words splitRecord(const std::uint8_t* record);
// Converts one word with the given format.
double convertWord(std::uint32_t word, WordFormat format);
// Splits and converts a record; the result is in display order.
Values decodeRecord(const std::uint8_t* record);

// The reverse, for the virtual board: the word that stands for a value (clamped to the
// format's range), and a record built from values in display order.
std::uint32_t encodeValue(double value, WordFormat format);
std::array<std::uint8_t, kRecordBytes> encodeRecord(const Values& values,
                                                    std::uint32_t sFlagBits = 0);

}  // namespace evkit::conversion
