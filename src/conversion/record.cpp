#include "conversion/record.h"

#include <algorithm>
#include <cmath>

#include "registers/conversions.h"

namespace evkit::conversion {

const std::array<QuantityInfo, kQuantities>& quantityTable() {
    using F = WordFormat;
    static const std::array<QuantityInfo, kQuantities> table = {{
        {V1RMS, "V1RMS", 2, F::Unsigned0, 1},     {I1RMS, "I1RMS", 1, F::Unsigned0, 1},
        {P1AVG, "P1AVG", 0, F::TwosComp, 1},      {S1, "S1", 10, F::MaskedUnsigned1, 1},
        {Q1AVG, "Q1AVG", 6, F::TwosComp, 1},      {PF1, "PF1", 11, F::TwosComp, 1},
        {V1PEAK, "V1PEAK", 9, F::TwosComp, 1},    {I1PEAK, "I1PEAK", 8, F::TwosComp, 1},
        {V2RMS, "V2RMS", 5, F::Unsigned0, 2},     {I2RMS, "I2RMS", 4, F::Unsigned0, 2},
        {P2AVG, "P2AVG", 3, F::TwosComp, 2},      {S2, "S2", 14, F::MaskedUnsigned1, 2},
        {Q2AVG, "Q2AVG", 7, F::TwosComp, 2},      {PF2, "PF2", 15, F::TwosComp, 2},
        {V2PEAK, "V2PEAK", 13, F::TwosComp, 2},   {I2PEAK, "I2PEAK", 12, F::TwosComp, 2},
        {EXTRA_1, "EXTRA_1", 17, F::TwosComp, 0}, {EXTRA_2, "EXTRA_2", 18, F::TwosComp, 0},
        {EXTRA_3, "EXTRA_3", 19, F::TwosComp, 0}, {T, "T", 16, F::Signed8, 0},
    }};
    return table;
}

Words splitRecord(const std::uint8_t* record) {
    Words words{};
    for (int i = 0; i < kQuantities; ++i) {
        const std::uint8_t* b = record + 3 * i;
        words[static_cast<size_t>(i)] = static_cast<std::uint32_t>(b[0]) |
                                        (static_cast<std::uint32_t>(b[1]) << 8) |
                                        (static_cast<std::uint32_t>(b[2]) << 16);
    }
    return words;
}

double convertWord(std::uint32_t word, WordFormat format) {
    const auto w = static_cast<std::int32_t>(word & 0xFFFFFFu);
    switch (format) {
        case WordFormat::TwosComp:
            return Hex_to_TwosComp(w);
        case WordFormat::Unsigned0:
            return Hex_to_Decimal(w, 0, 0);
        case WordFormat::MaskedUnsigned1:
            return Hex_to_Decimal(w & 0x7FFFFF, 1, 0);
        case WordFormat::Signed8:
            return Hex_to_Decimal(w, 8, 1);
    }
    return 0.0;
}

Values decodeRecord(const std::uint8_t* record) {
    const Words words = splitRecord(record);
    Values values{};
    for (const auto& q : quantityTable())
        values[static_cast<size_t>(q.quantity)] =
            convertWord(words[static_cast<size_t>(q.word)], q.format);
    return values;
}

std::uint32_t encodeValue(double value, WordFormat format) {
    if (!std::isfinite(value)) value = 0.0;
    const auto scaled = [](double v, int fractionBits, double lo, double hi) {
        const double steps = std::ldexp(1.0, fractionBits);
        const double s = std::clamp(std::round(v * steps), lo * steps, hi * steps - 1.0);
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(s)) & 0xFFFFFFu;
    };
    switch (format) {
        case WordFormat::TwosComp:
            return scaled(value, 23, -1.0, 1.0);
        case WordFormat::Unsigned0:
            return scaled(value, 24, 0.0, 1.0);
        case WordFormat::MaskedUnsigned1:
            return scaled(value, 23, 0.0, 1.0);
        case WordFormat::Signed8:
            return scaled(value, 16, -128.0, 128.0);
    }
    return 0;
}

std::array<std::uint8_t, kRecordBytes> encodeRecord(const Values& values, std::uint32_t sFlagBits) {
    std::array<std::uint8_t, kRecordBytes> out{};
    for (const auto& q : quantityTable()) {
        std::uint32_t w = encodeValue(values[static_cast<size_t>(q.quantity)], q.format);
        if (q.format == WordFormat::MaskedUnsigned1) w |= sFlagBits & 0x800000u;
        for (int b = 0; b < 3; ++b)
            out[static_cast<size_t>(3 * q.word + b)] = static_cast<std::uint8_t>(w >> (8 * b));
    }
    return out;
}

}  // namespace evkit::conversion
