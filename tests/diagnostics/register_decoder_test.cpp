#include "diagnostics/register_decoder.h"

#include <gtest/gtest.h>

#include <map>

using namespace evkit::diagnostics;

namespace {

std::map<std::string, std::string> fields(int page, int address, std::uint32_t word) {
    std::map<std::string, std::string> out;
    for (const auto& f : decodeRegister(page, address, word).fields) out[f.name] = f.value;
    return out;
}

}  // namespace

TEST(RegisterDecoder, ConfigurationFieldsAndSignedPc1) {
    auto f = fields(0, 0, 0x121016);
    EXPECT_EQ(f["clock divider K"], "6");
    EXPECT_EQ(f["bit 4"], "1");
    EXPECT_EQ(f["bits 11..12"], "2");
    EXPECT_EQ(f["bit 15"], "0");
    EXPECT_EQ(f["PC1"], "18");
    EXPECT_EQ(fields(0, 0, 0x800001)["PC1"], "-128");
    EXPECT_EQ(fields(0, 0, 0xFF0001)["PC1"], "-1");
    EXPECT_EQ(fields(0, 0, 0x000001)["word rate"], "4000.000 words/s at 4.096 MHz");
    EXPECT_EQ(fields(0, 0, 0x000000)["word rate"], "none (K = 0)");
}

TEST(RegisterDecoder, ControlOperationalModeStatusAndMask) {
    auto c = fields(0, 28, 0xFE1020);
    EXPECT_EQ(c["I1_Gain"], "1");
    EXPECT_EQ(c["I2_Gain"], "1");
    EXPECT_EQ(c["bit 8"], "0");
    EXPECT_EQ(c["PC2"], "-2");
    auto o = fields(1, 16, 0x80060D);
    EXPECT_EQ(o["AFC"], "1");
    EXPECT_EQ(o["bits 2..3"], "3");
    EXPECT_EQ(o["bits 9..10"], "3");
    EXPECT_EQ(o["bit 23"], "1");
    EXPECT_EQ(o["I1_HPF"], "0");
    const auto s = decodeRegister(0, 15, 0xFFFFFE);
    ASSERT_EQ(s.fields.size(), 24u);
    EXPECT_EQ(s.fields[0].value, "0");
    EXPECT_EQ(s.fields[23].value, "1");
    EXPECT_EQ(decodeRegister(0, 26, 0x800000).fields[23].value, "1");
}

TEST(RegisterDecoder, NumericRegistersInTheirFormats) {
    EXPECT_EQ(fields(1, 14, 400)["value (24 integer bits, unsigned, x 0.25)"], "100.000000");
    EXPECT_EQ(fields(1, 19, 4000)["value"], "4000");
    EXPECT_EQ(fields(1, 23, 0xC00000)["value (signed fraction)"], "-0.500000");
    EXPECT_EQ(fields(2, 1, 0x400000)["value (1 integer bits, unsigned)"], "0.500000");
    EXPECT_EQ(fields(1, 22, 0x020000)["value (7 integer bits, signed)"], "1.000000");
    EXPECT_EQ(fields(1, 1, 0xC00000)["value (2 integer bits, unsigned)"], "3.000000");
    EXPECT_EQ(fields(1, 1, 0xC00000)["value (2 integer bits, signed)"], "-1.000000");
}

TEST(RegisterDecoder, UnknownRegisterShowsEveryCommonReading) {
    const auto d = decodeRegister(3, 7, 0x1FFFFFF);  // bits above 23 are not part of the word
    EXPECT_FALSE(d.known);
    EXPECT_EQ(d.name, "register 3:7");
    auto f = fields(3, 7, 0xFFFFFF);
    EXPECT_EQ(f["unsigned integer"], "16777215");
    EXPECT_EQ(f["signed integer"], "-1");
    EXPECT_EQ(d.fields[0].value, "16777215");
    EXPECT_FALSE(knownRegisters().empty());
}
