// The message parser, the framer of the byte stream and the command table's header matching.
#include <gtest/gtest.h>

#include "scpi/command_table.h"
#include "scpi/message_framer.h"
#include "scpi/parser.h"

namespace evkit::scpi {
namespace {

TEST(ScpiParser, UnitsHeadersAndParameters) {
    const auto m =
        parseMessage("  :meas:volt? ; *IDN?;REG:WRIT 1, 22 ,#H123456;SYST:AUTH \"a \"\"b\"\"\"");
    ASSERT_FALSE(m.error);
    ASSERT_EQ(m.units.size(), 4u);
    EXPECT_TRUE(m.units[0].absolute);
    EXPECT_TRUE(m.units[0].query);
    EXPECT_EQ(m.units[0].nodes, (std::vector<std::string>{"MEAS", "VOLT"}));
    EXPECT_TRUE(m.units[1].common);
    EXPECT_EQ(m.units[1].nodes, std::vector<std::string>{"IDN"});
    ASSERT_EQ(m.units[2].params.size(), 3u);
    EXPECT_EQ(m.units[2].params[1].text, "22");
    EXPECT_EQ(parseInteger(m.units[2].params[2].text), 0x123456);
    ASSERT_EQ(m.units[3].params.size(), 1u);
    EXPECT_EQ(m.units[3].params[0].kind, Param::Kind::kString);
    EXPECT_EQ(m.units[3].params[0].text, "a \"b\"");
}

TEST(ScpiParser, BlocksMayHoldAnyByte) {
    const std::string bytes("a,;\n\"\0z", 7);
    const auto m = parseMessage("EEPROM:WRIT #17" + bytes + ";*OPC?");
    ASSERT_FALSE(m.error);
    ASSERT_EQ(m.units.size(), 2u);
    EXPECT_EQ(m.units[0].params[0].kind, Param::Kind::kBlock);
    EXPECT_EQ(m.units[0].params[0].text, bytes);
    const auto shortBlock = parseMessage("EEPROM:WRIT #19abc");
    ASSERT_TRUE(shortBlock.error);
    EXPECT_EQ(shortBlock.error->code, code::kInvalidBlockData);
}

TEST(ScpiParser, ErrorsKeepTheUnitsBefore) {
    auto m = parseMessage("*CLS;REG:READ? 1,\"x;*OPC?");
    ASSERT_TRUE(m.error);
    EXPECT_EQ(m.error->code, code::kSyntaxError);
    EXPECT_EQ(m.units.size(), 1u);
    m = parseMessage("MEAS:VOLT?x");
    ASSERT_TRUE(m.error);
    EXPECT_EQ(m.error->code, code::kInvalidCharacter);
    m = parseMessage("REG:READ? 1 2");
    ASSERT_TRUE(m.error);
    EXPECT_EQ(m.error->code, code::kSyntaxError);
    m = parseMessage("*");
    ASSERT_TRUE(m.error);
    EXPECT_EQ(parseMessage("REG:READ? 1,,2").error->code, code::kSyntaxError);
}

TEST(ScpiParser, Numbers) {
    EXPECT_EQ(parseInteger("-17"), -17);
    EXPECT_EQ(parseInteger("0x1F"), 31);
    EXPECT_EQ(parseInteger("#hff"), 255);
    EXPECT_EQ(parseInteger("#Q17"), 15);
    EXPECT_EQ(parseInteger("#B101"), 5);
    EXPECT_EQ(parseInteger("4.0"), 4);
    EXPECT_EQ(parseInteger("1e3"), 1000);
    EXPECT_FALSE(parseInteger("4.5"));
    EXPECT_FALSE(parseInteger("12abc"));
    EXPECT_FALSE(parseInteger("99999999999999999999"));
    EXPECT_DOUBLE_EQ(*parseNumber("-2.5e-1"), -0.25);
    EXPECT_FALSE(parseNumber("nan"));
    EXPECT_FALSE(parseNumber("inf"));
    EXPECT_FALSE(parseNumber("0x1p3"));
    // A lone '#' with no radix letter is no number (it once recursed without end).
    EXPECT_FALSE(parseInteger("#?"));
    EXPECT_FALSE(parseNumber("#?"));
    EXPECT_FALSE(parseInteger("#H"));
    EXPECT_FALSE(parseNumber("#"));
}

TEST(ScpiTable, ShortAndLongFormsOptionalNodesAndQueries) {
    int hit = 0;
    CommandTable t({{"MEASure:VOLTage?", Access::kLocal, [&](Call&) { hit = 1; }, ""},
                    {"SYSTem:ERRor[:NEXT]?", Access::kLocal, [&](Call&) { hit = 2; }, ""},
                    {"*IDN?", Access::kLocal, [&](Call&) { hit = 3; }, ""},
                    {"MEASure:V1RMS?", Access::kLocal, [&](Call&) { hit = 4; }, ""}});
    using V = std::vector<std::string>;
    EXPECT_EQ(t.find(V{"MEAS", "VOLT"}, false, true), &t.rows()[0]);
    EXPECT_EQ(t.find(V{"MEASURE", "VOLTAGE"}, false, true), &t.rows()[0]);
    EXPECT_EQ(t.find(V{"MEASU", "VOLT"}, false, true), nullptr);  // neither form
    EXPECT_EQ(t.find(V{"MEAS", "VOLT"}, false, false), nullptr);  // not a query
    EXPECT_EQ(t.find(V{"SYST", "ERR"}, false, true), &t.rows()[1]);
    EXPECT_EQ(t.find(V{"SYST", "ERR", "NEXT"}, false, true), &t.rows()[1]);
    EXPECT_EQ(t.find(V{"IDN"}, true, true), &t.rows()[2]);
    EXPECT_EQ(t.find(V{"IDN"}, false, true), nullptr);
    EXPECT_EQ(t.find(V{"MEAS", "V1RMS"}, false, true), &t.rows()[3]);
}

TEST(ScpiFramer, NewlinesOutsideBlocksEndMessages) {
    MessageFramer f;
    std::vector<MessageFramer::Piece> out;
    f.feed("*IDN?\r\nEEPROM:WRIT #13a\nb", out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].text, "*IDN?");
    f.feed(";*OPC?\n\"x\ny\n", out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[1].text, "EEPROM:WRIT #13a\nb;*OPC?");
    EXPECT_EQ(out[2].text, "\"x");  // a newline ends even an open string
    EXPECT_EQ(out[3].text, "y");
}

TEST(ScpiFramer, OverlongMessagesAreDroppedOnceAndTheNextOneIsWhole) {
    MessageFramer f(16);
    std::vector<MessageFramer::Piece> out;
    const std::string big(1 << 20, 'A');
    for (std::size_t i = 0; i < big.size(); i += 4096)
        f.feed(std::string_view(big).substr(i, 4096), out);
    EXPECT_TRUE(out.empty());
    EXPECT_LE(f.pending(), 16u);  // nothing of it is held
    f.feed("\n*OPC?\n", out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[0].overlong);
    EXPECT_FALSE(out[1].overlong);
    EXPECT_EQ(out[1].text, "*OPC?");
    // A block length far beyond the limit cannot make the framer swallow the stream forever.
    out.clear();
    f.feed("X #9999999999\n", out);
    f.feed(std::string(200, '\n'), out);
    EXPECT_FALSE(out.empty());
}

}  // namespace
}  // namespace evkit::scpi
