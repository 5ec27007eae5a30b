#include "diagnostics/register_decoder.h"

#include <gtest/gtest.h>

#include <map>

#include "registers/word.h"

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
}

// The assistant lists knownRegisters() and decodes the address in front of each entry.
TEST(RegisterDecoder, EveryListedRegisterDecodesUnderItsName) {
    const auto list = knownRegisters();
    ASSERT_EQ(list.size(), 41u);
    EXPECT_EQ(list.front().first, "0:0");
    EXPECT_EQ(list.back().first, "65:0");
    for (const auto& [at, name] : list) {
        const auto a = evkit::parseRegisterAddress(at);
        ASSERT_TRUE(a) << at;
        const auto d = decodeRegister(a->page, a->address, 0);
        EXPECT_TRUE(d.known) << at;
        EXPECT_EQ(d.name, name) << at;
    }
}

// Every signed field and both temperature lines, with a word whose sign bit is set.
TEST(RegisterDecoder, SignedFieldsAndTemperatureLinesWithNegativeWords) {
    struct Row {
        int page, address;
        std::uint32_t word;
        const char* field;
        const char* value;
    };
    const Row rows[] = {
        {0, 0, 0x800001, "PC1", "-128"},
        {0, 0, 0xFF0001, "PC1", "-1"},
        {0, 0, 0x7F0001, "PC1", "127"},
        {0, 28, 0x800000, "PC2", "-128"},
        {0, 28, 0xFF1020, "PC2", "-1"},
        {0, 28, 0x7F0000, "PC2", "127"},
        {1, 22, 0xFE0000, "value (7 integer bits, signed)", "-1.000000"},
        {1, 22, 0xFE0000, "temperature gain value (833.333 / (128 g))", "-6.510414"},
        {1, 22, 0x800000, "value (7 integer bits, signed)", "-64.000000"},
        {1, 22, 0x010000, "temperature gain value (833.333 / (128 g))", "13.020828"},
        {1, 23, 0xC00000, "value (signed fraction)", "-0.500000"},
        {1, 23, 0xC00000, "temperature offset value (833.333 o)", "-416.666500"},
        {1, 23, 0x800000, "temperature offset value (833.333 o)", "-833.333000"},
        {1, 1, 0xA00000, "value (2 integer bits, signed)", "-1.500000"},
        {1, 3, 0xA00000, "value (2 integer bits, signed)", "-1.500000"},
        {1, 8, 0xA00000, "value (2 integer bits, signed)", "-1.500000"},
        {1, 10, 0xA00000, "value (2 integer bits, signed)", "-1.500000"},
        {1, 10, 0xA00000, "value (2 integer bits, unsigned)", "2.500000"},
        {3, 7, 0x800000, "signed integer", "-8388608"},
        {3, 7, 0x800000, "signed fraction (1 integer bit)", "-1.000000"},
        {3, 7, 0x800000, "unsigned fraction (1 integer bit)", "1.000000"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(fields(r.page, r.address, r.word)[r.field], r.value)
            << r.page << ":" << r.address << " " << r.field;
    // The signed fraction of every offset-type register.
    for (int address : {0, 2, 4, 5, 6, 7, 9, 11, 12, 13, 15, 23, 24, 27})
        EXPECT_EQ(fields(1, address, 0xA00000)["value (signed fraction)"], "-0.750000") << address;
}
