// The conversion log: header and lines byte for byte, numbering, header values from the device.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "conversion/conversion_log.h"
#include "sim_rig.h"

using namespace evkit;
using namespace evkit::conversion;

namespace {
std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

LogHeaderValues example() {
    LogHeaderValues v;
    v.chip = 14;
    v.I1_Gain = 1;
    v.I1_HPF = 0;
    v.V1_HPF = 1;
    v.PC1 = -3;
    v.I2_Gain = 0;
    v.I2_HPF = 1;
    v.V2_HPF = 0;
    v.PC2 = 18;
    v.V1_DC_Offset = 0.001;
    v.I1_DC_Offset = -0.0025;
    v.V1_AC_Gain = 1.0;
    v.I1_AC_Gain = 1.25;
    v.V1_AC_Offset = 0.0;
    v.I1_AC_Offset = -1.0;
    v.V2_DC_Offset = 0.5;
    v.I2_DC_Offset = 0.0;
    v.V2_AC_Gain = 3.0;
    v.I2_AC_Gain = 0.999999;
    v.V2_AC_Offset = 0.1234567;
    v.I2_AC_Offset = 0.0;
    return v;
}
}  // namespace

TEST(ConversionLog, WorkedExampleByteForByte) {
    const std::string path = ::testing::TempDir() + "conversion_log_example.txt";
    ConversionLog log;
    ASSERT_TRUE(log.open(path, example()));
    EXPECT_EQ(log.edw_i, 0);
    LoggedValues a{};
    for (int i = 0; i < kLoggedValues; ++i) a[static_cast<size_t>(i)] = 0.1234567 * (i + 1);
    a[16] = 49.999523;  // line frequency
    a[17] = -12.5;      // temperature
    ASSERT_TRUE(log.append(a));
    LoggedValues zero{};
    ASSERT_TRUE(log.append(zero));
    ASSERT_TRUE(log.append(zero));
    EXPECT_EQ(log.edw_i, 3);

    const std::string expected =
        "Device=PM7014\n"
        "\n"
        "I1_Gain=1,I1_HPF=0,V1_HPF=1,PC1=-3,V1_DC_Offset=0.001000,I1_DC_Offset=-0.002500,"
        "V1_AC_Gain=1.000000,I1_AC_Gain=1.250000,V1_AC_Offset=0.000000,I1_AC_Offset=-1.000000\n"
        "I2_Gain=0,I2_HPH=1,V2_HPF=0,PC2=18,V2_DC_Offset=0.500000,I2_DC_Offset=0.000000,"
        "V2_AC_Gain=3.000000,I2_AC_Gain=0.999999,V2_AC_Offset=0.123457,I2_AC_Offset=0.000000\n"
        "\n"
        "n,V1rms,   I1rms    ,P1avg     ,S1     ,Q1avg     ,PF1     ,V1peak   ,I1peak   ,V2rms   "
        ",I2rms   ,P2avg   ,S2     ,Q2avg     ,PF2     ,V2peak   ,I2peak   ,Epsilon,  T\n"
        "1,0.123457,0.246913,0.370370,0.493827,0.617283,0.740740,0.864197,0.987654,1.111110,"
        "1.234567,1.358024,1.481480,1.604937,1.728394,1.851851,1.975307,49.999523,-12.500000,\n"
        "2,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,"
        "0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,\n"
        "3,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,"
        "0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,0.000000,\n";
    EXPECT_EQ(slurp(path), expected);

    // A new log starts again at line 1 and its header replaces the old file.
    const std::string second = ::testing::TempDir() + "conversion_log_second.txt";
    ASSERT_TRUE(log.open(second, example()));
    ASSERT_TRUE(log.append(zero));
    const std::string text = slurp(second);
    EXPECT_NE(text.find("\n1,0.000000,"), std::string::npos);
    EXPECT_EQ(text.find("\n2,"), std::string::npos);
}

TEST(ConversionLog, UnwritableFileIsReported) {
    ConversionLog log;
    EXPECT_FALSE(log.open("/nonexistent-dir/x.txt", example()));
    EXPECT_FALSE(log.append(LoggedValues{}));
    EXPECT_EQ(log.edw_i, 1);  // the line number still advances
}

TEST(ConversionLog, LoggedColumnsAreTheChannelValuesLineFrequencyAndTemperature) {
    Values v{};
    for (int q = 0; q < kQuantities; ++q) v[static_cast<size_t>(q)] = q;
    const LoggedValues l = loggedValues(v, 50.0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(l[static_cast<size_t>(i)], i);  // V1RMS .. I2PEAK
    EXPECT_EQ(l[16], 50.0);
    EXPECT_EQ(l[17], static_cast<double>(T));
}

TEST(ConversionLog, HeaderValuesDecodedFromTheDevice) {
    test::SimRig rig;
    ASSERT_EQ(rig.open(), 0);
    auto& d = rig.board.device();
    d.setReg(0, 0, 0x800001);   // PC1 = -128, K = 1
    d.setReg(0, 28, 0x121020);  // PC2 = 18, I2 gain, I1 gain
    d.setReg(1, 16, 0x0001A0);  // V2_HPF, I2_HPF, I1_HPF (bits 8, 7, 5)
    d.setReg(1, 0, 0x800000);   // I1 DC offset -1
    d.setReg(1, 3, 0xC00000);   // V1 AC gain, shown unsigned: 3.0
    d.setReg(1, 10, 0x400000);  // V2 AC gain 1.0
    d.setReg(1, 13, 0x7FFFFF);  // V2 AC offset just under 1
    LogHeaderValues v;
    ASSERT_EQ(readLogHeaderValues(rig.link, 14, &v), 0);
    EXPECT_EQ(v.PC1, -128);
    EXPECT_EQ(v.PC2, 18);
    EXPECT_EQ(v.I1_Gain, 1);
    EXPECT_EQ(v.I2_Gain, 1);
    EXPECT_EQ(v.I1_HPF, 1);
    EXPECT_EQ(v.V1_HPF, 0);
    EXPECT_EQ(v.I2_HPF, 1);
    EXPECT_EQ(v.V2_HPF, 1);
    EXPECT_EQ(v.I1_DC_Offset, -1.0);
    EXPECT_EQ(v.V1_AC_Gain, 3.0);
    EXPECT_EQ(v.V2_AC_Gain, 1.0);
    EXPECT_EQ(v.V2_AC_Offset, 1.0 - std::ldexp(1.0, -23));
    EXPECT_EQ(v.V1_DC_Offset, 0.0);

    rig.board.unplug();
    EXPECT_NE(readLogHeaderValues(rig.link, 14, &v), 0);
}
