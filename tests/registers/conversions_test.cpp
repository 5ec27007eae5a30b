#include "registers/conversions.h"

#include <gtest/gtest.h>

#include <optional>

#include <cmath>

#include "registers/word.h"

using namespace evkit;

TEST(HexToDecimal, SignedAndUnsignedFormats) {
    EXPECT_EQ(Hex_to_Decimal(0x800000, 1, 1), -1.0);
    EXPECT_EQ(Hex_to_Decimal(0x800000, 1, 0), 1.0);
    EXPECT_EQ(Hex_to_Decimal(0x800000, 1, 2), 1.0);  // any sign other than 1 is unsigned
    EXPECT_EQ(Hex_to_Decimal(0xFFFFFF, 24, 0), 16777215.0);
    EXPECT_EQ(Hex_to_Decimal(0x1000001, 24, 0), 1.0);  // bits above 23 ignored
    EXPECT_EQ(Hex_to_Decimal(0xC00000, 7, 1), -32.0);
    EXPECT_EQ(Hex_to_Decimal(0x020000, 7, 1), 1.0);
    EXPECT_EQ(Hex_to_Decimal(0xFFFFFF, 1, 1), -std::ldexp(1.0, -23));
    EXPECT_EQ(Hex_to_Decimal(0xFFFFFF, 0, 0), 1.0 - std::ldexp(1.0, -24));
    EXPECT_EQ(Hex_to_Decimal(0x400000, 2, 0), 1.0);
    EXPECT_EQ(Hex_to_Decimal(0xFF0000, 8, 1), -1.0);
}

TEST(HexToTwosComp, MatchesSignedOneBitFormatEverywhere) {
    EXPECT_EQ(Hex_to_TwosComp(0x800000), -1.0);
    EXPECT_EQ(Hex_to_TwosComp(0xFFFFFF), -std::ldexp(1.0, -23));
    EXPECT_EQ(Hex_to_TwosComp(0x7FFFFF), 1.0 - std::ldexp(1.0, -23));
    for (std::int32_t w = 0; w < 0x1000000; w += 0x1357)
        ASSERT_EQ(Hex_to_TwosComp(w), Hex_to_Decimal(w, 1, 1)) << std::hex << w;
}

TEST(TwosCompToHex, UsesPositiveFullScaleOf2To23Minus1) {
    EXPECT_EQ(TwosComp_to_Hex(1.0), 0x7FFFFF);
    EXPECT_EQ(TwosComp_to_Hex(0.5), 0x3FFFFF);
    EXPECT_EQ(TwosComp_to_Hex(0.0), 0);
    EXPECT_EQ(TwosComp_to_Hex(-0.5) & 0xFFFFFF, 0xC00000);
    EXPECT_EQ(TwosComp_to_Hex(-1.0) & 0xFFFFFF, 0x800000);
    EXPECT_LT(TwosComp_to_Hex(-0.5), 0);  // sign extended above bit 23
}

TEST(TwosCompToHex, TinyNegativeInputGivesZeroNotMinusOne) {
    EXPECT_EQ(TwosComp_to_Hex(-1e-9), 0);
    EXPECT_EQ(TwosComp_to_Hex(-std::ldexp(1.0, -24)), 0);
    EXPECT_EQ(TwosComp_to_Hex(-std::ldexp(1.0, -23)) & 0xFFFFFF, 0xFFFFFF);
}

TEST(DecimalToHex, TruncatesTowardZeroWithoutMasking) {
    EXPECT_EQ(Decimal_to_Hex(1.0, 1), 0x800000);
    EXPECT_EQ(Decimal_to_Hex(0.5, 1), 0x400000);
    EXPECT_EQ(Decimal_to_Hex(0.99999999, 1), 0x7FFFFF);
    EXPECT_EQ(Decimal_to_Hex(-0.25, 2) & 0xFFFFFF, 0xF00000);
    EXPECT_EQ(Hex_to_Decimal(Decimal_to_Hex(-0.25, 2), 2, 1), -0.25);
    EXPECT_EQ(Decimal_to_Hex(300.0, 24), 300);
    EXPECT_EQ(Decimal_to_Hex(-32.0, 7) & 0xFFFFFF, 0xC00000);
    EXPECT_EQ(Decimal_to_Hex(1.5, 7), 0x030000);
}

TEST(RegisterText, AddressesAtTheEdgesOfTheirRanges) {
    // Address 32 would become 0x40, a write command: 31 is the last address.
    const std::pair<const char*, std::optional<std::pair<int, int>>> rows[] = {
        {"0:0", {{0, 0}}},
        {"255:31", {{255, 31}}},
        {"0x41:0x1f", {{65, 31}}},
        {"31", {{0, 31}}},
        {"1:22", {{1, 22}}},
        {"256:0", {}},
        {"0:32", {}},
        {"0x20", {}},
        {"-1:0", {}},
        {"0:-1", {}},
        {"1:", {}},
        {"a:b", {}},
    };
    for (const auto& [text, expect] : rows) {
        const auto a = parseRegisterAddress(text);
        ASSERT_EQ(a.has_value(), expect.has_value()) << text;
        if (a) {
            EXPECT_EQ(std::make_pair(a->page, a->address), *expect) << text;
        }
    }
}

TEST(RegisterText, Words) {
    EXPECT_EQ(parseInteger("0x123456"), 0x123456);
    EXPECT_EQ(parseInteger("-12"), -12);
    EXPECT_FALSE(parseInteger("zz"));
    EXPECT_FALSE(parseInteger("12abc"));
    EXPECT_EQ(hexWord(0xAB), "0x0000ab");
    EXPECT_EQ(hexWord(0x50D76050, 8), "0x50d76050");
}
