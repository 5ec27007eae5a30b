// Record decoding, the per-update statistics and the epsilon word.
#include <gtest/gtest.h>

#include <cmath>

#include "conversion/monitor.h"
#include "conversion/record.h"
#include "conversion/statistics.h"

using namespace evkit::conversion;

namespace {
std::array<std::uint8_t, kRecordBytes> recordWith(
    std::initializer_list<std::pair<int, std::uint32_t>> words) {
    std::array<std::uint8_t, kRecordBytes> r{};
    for (auto [i, w] : words) {
        r[static_cast<size_t>(3 * i)] = static_cast<std::uint8_t>(w);
        r[static_cast<size_t>(3 * i + 1)] = static_cast<std::uint8_t>(w >> 8);
        r[static_cast<size_t>(3 * i + 2)] = static_cast<std::uint8_t>(w >> 16);
    }
    return r;
}
}  // namespace

TEST(Record, EdgeWordsDecodeWithTheirFormatsAndLandInDisplayOrder) {
    const auto r = recordWith({
        {0, 0x800000},   // P1AVG: most negative
        {1, 0x000001},   // I1RMS: one step of 2^-24
        {2, 0x800000},   // V1RMS: unsigned, 0.5
        {3, 0xFFFFFF},   // P2AVG: -1 step
        {10, 0xFFFFFF},  // S1: bit 23 ignored
        {14, 0x800000},  // S2: only bit 23 set -> 0
        {11, 0x7FFFFF},  // PF1: just under 1
        {16, 0x190000},  // T: 25.0 degrees (8 integer bits, signed)
        {19, 0xC00000},  // EXTRA_3: -0.5
    });
    const Values v = decodeRecord(r.data());
    EXPECT_EQ(v[P1AVG], -1.0);
    EXPECT_EQ(v[I1RMS], std::ldexp(1.0, -24));
    EXPECT_EQ(v[V1RMS], 0.5);
    EXPECT_EQ(v[P2AVG], -std::ldexp(1.0, -23));
    EXPECT_EQ(v[S1], 1.0 - std::ldexp(1.0, -23));
    EXPECT_EQ(v[S2], 0.0);
    EXPECT_EQ(v[PF1], 1.0 - std::ldexp(1.0, -23));
    EXPECT_EQ(v[T], 25.0);
    EXPECT_EQ(v[EXTRA_3], -0.5);

    const auto cold = recordWith({{16, 0xFF8000}});  // T = -0.5 degrees
    EXPECT_EQ(decodeRecord(cold.data())[T], -0.5);
}

TEST(Record, BytesTravelLeastSignificantFirst) {
    std::array<std::uint8_t, kRecordBytes> r{};
    r[6] = 0x56;  // word 2 (V1RMS) = 0x123456
    r[7] = 0x34;
    r[8] = 0x12;
    EXPECT_EQ(splitRecord(r.data())[2], 0x123456u);
    EXPECT_DOUBLE_EQ(decodeRecord(r.data())[V1RMS], 0x123456 / 16777216.0);
}

TEST(Record, EncodedValuesDecodeWithinOneStepAndClampToTheirFormat) {
    Values in{};
    in[V1RMS] = 0.424264;
    in[P1AVG] = -0.2;
    in[S1] = 0.17;
    in[T] = -12.25;
    in[PF1] = 1.5;  // beyond the format: clamps to just under 1
    const auto rec = encodeRecord(in, 0x800000);
    const Values out = decodeRecord(rec.data());
    EXPECT_NEAR(out[V1RMS], in[V1RMS], std::ldexp(1.0, -24));
    EXPECT_NEAR(out[P1AVG], in[P1AVG], std::ldexp(1.0, -23));
    EXPECT_NEAR(out[S1], in[S1], std::ldexp(1.0, -23));  // the flag bit does not leak in
    EXPECT_EQ(out[T], -12.25);
    EXPECT_EQ(out[PF1], 1.0 - std::ldexp(1.0, -23));
}

TEST(Statistics, MeanAndDeviationOfAnUpdate) {
    UpdateStatistics s;
    s.reset();
    for (double x : {1.0, 2.0, 3.0, 4.0, 5.0}) {
        Values v{};
        v[V1RMS] = x;
        v[PF1] = 0.1;  // identical readings: the variance can round below zero
        s.add(v);
    }
    EXPECT_DOUBLE_EQ(s.mean(V1RMS), 3.0);
    EXPECT_DOUBLE_EQ(s.deviation(V1RMS), std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(s.mean(PF1), 0.1);
    EXPECT_EQ(s.deviation(PF1), 0.0);
    EXPECT_FALSE(std::isnan(s.deviation(PF1)));
}

TEST(LineFrequency, EpsilonWords) {
    EXPECT_EQ(epsilonWord(50.0, 1, 4.096f), 0x019999u);
    EXPECT_EQ(epsilonWord(60.0, 1, 4.096f), 0x01EB85u);
    EXPECT_EQ(epsilonWord(50.0, 0, 4.096f), 0u);
    EXPECT_EQ(epsilonWord(50.0, 2, 4.096f), 0x033333u);
    // At or above the word rate only the three low bytes are sent.
    EXPECT_EQ(epsilonWord(8000.0, 1, 4.096f), 0xFFFFFDu);
    EXPECT_EQ(epsilonWord(1e300, 1, 4.096f), 0u);
}
