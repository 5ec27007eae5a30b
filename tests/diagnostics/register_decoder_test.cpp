#include "diagnostics/register_decoder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

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

// The complete rows of the five setup registers (name, bits, value, in order) for words that
// set every field to a value of its own and fill the bits no field covers, so a field read
// from the wrong bits, a lost sign, a leak from a neighbouring bit or the wrong ring of
// operational-mode bits 2..3 shows up as a changed row.
TEST(RegisterDecoder, SetupRegistersRowByRow) {
    const auto rows = [](int page, int address, std::uint32_t word) {
        std::vector<std::string> out;
        for (const auto& f : decodeRegister(page, address, word).fields)
            out.push_back(f.name + " | " + f.bits + " | " + f.value);
        return out;
    };
    struct Case {
        int page;
        int address;
        std::uint32_t word;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // PC1 = 0x83, bit 15, bits 11..12 = 3, bits 5..10 set (no field), bit 4, K = 10.
        {0,
         0,
         0x839FFA,
         {"clock divider K | 0..3 | 10", "bit 4 | 4 | 1", "bits 11..12 | 11..12 | 3",
          "bit 15 | 15 | 1", "PC1 | 16..23 | -125",
          "word rate | 0..3 | 400.000 words/s at 4.096 MHz"}},
        // PC2 = 0xC1; bits 1, 4 and 8 set, 2, 5 and 12 clear, every uncovered bit set.
        {0,
         28,
         0xC1EFDB,
         {"bit 1 | 1 | 1", "bit 2 | 2 | 0", "bit 4 | 4 | 1", "I1_Gain | 5 | 0", "bit 8 | 8 | 1",
          "I2_Gain | 12 | 0", "PC2 | 16..23 | -63"}},
        // Selector (bits 9..10) = 2, so bits 2..3 belong to the other ring than in the
        // selector-3 case; bits 4, 11 and 16..21 set (no field).
        {1,
         16,
         0xBFACBA,
         {"AFC | 0 | 0", "bit 1 | 1 | 1", "bits 2..3 | 2..3 | 2", "I1_HPF | 5 | 1",
          "V1_HPF | 6 | 0", "I2_HPF | 7 | 1", "V2_HPF | 8 | 0", "bits 9..10 | 9..10 | 2",
          "bit 12 | 12 | 0", "bits 13..14 | 13..14 | 1", "bit 15 | 15 | 1", "bit 22 | 22 | 0",
          "bit 23 | 23 | 1"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(rows(c.page, c.address, c.word), c.expected) << c.page << ":" << c.address;

    // Status and mask: one row per bit, the bit's own value (status bit 0 is not inverted
    // here, unlike the setup window's lamp).
    const std::uint32_t word = 0xA00005;
    for (const auto& [address, bit0Name] :
         {std::pair{15, std::string("bit 0 (setup LED shows it inverted)")},
          std::pair{26, std::string("bit 0")}}) {
        const auto got = rows(0, address, word);
        ASSERT_EQ(got.size(), 24u) << address;
        for (int n = 0; n < 24; ++n) {
            const std::string name = n == 0 ? bit0Name : "bit " + std::to_string(n);
            const char* value = (word >> n) & 1 ? "1" : "0";
            EXPECT_EQ(got[static_cast<std::size_t>(n)],
                      name + " | " + std::to_string(n) + " | " + value)
                << "0:" << address;
        }
    }
}

// The temperature registers also show the values the temperature window shows, for positive,
// negative and zero words.
TEST(RegisterDecoder, TemperatureRegistersInDegrees) {
    const struct {
        int address;
        std::uint32_t word;
        const char* name;
        const char* value;
    } cases[] = {
        {22, 0x020000, "temperature gain value (833.333 / (128 g))", "6.510414"},   // g = 1
        {22, 0xFC0000, "temperature gain value (833.333 / (128 g))", "-3.255207"},  // g = -2
        {22, 0x000000, "temperature gain value (833.333 / (128 g))", "infinite (g = 0)"},
        {23, 0x200000, "temperature offset value (833.333 o)", "208.333250"},   // o = 0.25
        {23, 0xC00000, "temperature offset value (833.333 o)", "-416.666500"},  // o = -0.5
    };
    for (const auto& c : cases)
        EXPECT_EQ(fields(1, c.address, c.word)[c.name], c.value) << c.address << " " << c.word;
}
