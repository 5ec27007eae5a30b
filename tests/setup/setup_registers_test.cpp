// Field decoding and packing of the five control and status registers.
#include <gtest/gtest.h>

#include "setup/setup_registers.h"

using namespace evkit::setup;

TEST(ConfigRegister, WorkedWordDecodesAndPacksUnchanged) {
    const std::uint32_t word = (0x12u << 16) | (2u << 11) | (1u << 4) | 6u;
    const ConfigFields f = DecodeConfig(word);
    EXPECT_EQ(f.clockDivider, 6);
    EXPECT_TRUE(f.bit4);
    EXPECT_EQ(f.bits11_12, 2);
    EXPECT_FALSE(f.bit15);
    EXPECT_EQ(f.pc1, 18);
    EXPECT_EQ(PackConfig(f), word);
}

TEST(ConfigRegister, Pc1IsSignedEightBits) {
    EXPECT_EQ(DecodeConfig(0x800000).pc1, -128);
    EXPECT_EQ(DecodeConfig(0x7F0000).pc1, 127);
    EXPECT_EQ(DecodeConfig(0xFF0000).pc1, -1);
    ConfigFields f;
    f.pc1 = -1;
    EXPECT_EQ(PackConfig(f), 0xFF0000u);
    f.pc1 = -128;
    f.clockDivider = 15;
    EXPECT_EQ(PackConfig(f), 0x80000Fu);
    EXPECT_EQ(DecodeConfig(0x1FF0000).pc1, -1);  // bits above 23 are not the device's
}

TEST(ControlRegister, FieldsAndSignedPc2) {
    ControlFields f;
    f.i1Gain = true;
    f.i2Gain = true;
    f.pc2 = -2;
    EXPECT_EQ(PackControl(f), 0xFE1020u);
    const ControlFields d = DecodeControl(0xFE1020);
    EXPECT_EQ(d, f);
    EXPECT_EQ(DecodeControl(0x800000).pc2, -128);
    f = {};
    f.bit1 = f.bit2 = f.bit4 = f.bit8 = true;
    EXPECT_EQ(PackControl(f), 0x000116u);
}

TEST(FieldEdit, BitsNoFieldCoversAreCleared) {
    // A field edit packs only what the fields hold: everything else comes out as 0.
    EXPECT_EQ(PackConfig(DecodeConfig(0xFFFFFF)), 0xFF981Fu);
    EXPECT_EQ(PackControl(DecodeControl(0xFFFFFF)), 0xFF1136u);
    EXPECT_EQ(PackOperationalMode(DecodeOperationalMode(0xFFFFFF, {})), 0xC0F7EFu);
    EXPECT_EQ(PackConfig(DecodeConfig(0x0007E0)), 0u);  // configuration bits 5..10
}

TEST(MaskRegister, EachBoxIsItsBit) {
    MaskBits b{};
    b[23] = true;
    EXPECT_EQ(PackMask(b), 0x800000u);
    b = {};
    b[0] = true;
    EXPECT_EQ(PackMask(b), 0x000001u);
    for (std::uint32_t w : {0x000000u, 0xFFFFFFu, 0xA5C33Cu, 0x123456u})
        EXPECT_EQ(PackMask(DecodeMask(w)), w);
    EXPECT_TRUE(DecodeMask(0x000400)[10]);
    EXPECT_FALSE(DecodeMask(0x000400)[11]);
}

TEST(StatusRegister, LampZeroShowsTheInverseOfBitZero) {
    const StatusLamps allSet = DecodeStatus(0xFFFFFF);
    EXPECT_FALSE(allSet[0]);
    for (int n = 1; n < 24; ++n) EXPECT_TRUE(allSet[static_cast<size_t>(n)]) << n;
    const StatusLamps clear = DecodeStatus(0x000000);
    EXPECT_TRUE(clear[0]);
    for (int n = 1; n < 24; ++n) EXPECT_FALSE(clear[static_cast<size_t>(n)]) << n;
    EXPECT_TRUE(DecodeStatus(0x000300)[8]);
}

TEST(OperationalMode, SelectorThreeRoutesBits2And3ToRingA) {
    OpModeFields previous;
    previous.bits2_3A = 1;
    previous.bits2_3B = 3;
    // Bits 9..10 = 3, bits 2..3 = 2: ring A receives them, ring B keeps its value.
    OpModeFields f = DecodeOperationalMode(0x000608, previous);
    EXPECT_TRUE(opModeRingAShown(f.bits9_10));
    EXPECT_EQ(f.bits2_3A, 2);
    EXPECT_EQ(f.bits2_3B, 3);
    // Bits 9..10 = 1: ring B receives them, ring A keeps its value.
    f = DecodeOperationalMode(0x000204, previous);
    EXPECT_FALSE(opModeRingAShown(f.bits9_10));
    EXPECT_EQ(f.bits2_3B, 1);
    EXPECT_EQ(f.bits2_3A, 1);
}

TEST(OperationalMode, PackTakesBits2And3FromTheShownRing) {
    OpModeFields f;
    f.bits2_3A = 2;
    f.bits2_3B = 1;
    f.bits9_10 = 3;
    EXPECT_EQ(PackOperationalMode(f), 0x000608u);
    f.bits9_10 = 2;
    EXPECT_EQ(PackOperationalMode(f), 0x000404u);
}

TEST(OperationalMode, EveryFieldAtItsBit) {
    OpModeFields f;
    f.afc = f.bit1 = f.i1Hpf = f.v1Hpf = f.i2Hpf = f.v2Hpf = f.bit12 = f.bit15 = f.bit22 = f.bit23 =
        true;
    f.bits13_14 = 2;
    EXPECT_EQ(PackOperationalMode(f), 0xC0D1E3u);
    const OpModeFields d = DecodeOperationalMode(0xC0D1E3, {});
    EXPECT_EQ(d, f);
}
