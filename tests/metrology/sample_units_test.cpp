// Captured samples in units: which unit and full scale each captured channel has, the CSV's
// exact text, and the file written from a capture on the virtual board.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "collection/capture.h"
#include "metrology/sample_units.h"
#include "sim_rig.h"
#include "temp_files.h"

using namespace evkit;
using namespace evkit::metrology;

using evkit::test::slurp;

namespace {

Scaling bench() {
    Scaling s;
    s.channel[0] = {400.0, 20.0};
    s.channel[1] = {250.0, 5.0};
    return s;
}

}  // namespace

TEST(SampleUnits, EachCapturedChannelHasTheUnitAndFullScaleOfItsPair) {
    struct Case {
        std::uint8_t byte;
        const char* channel;
        const char* unit;
        double fullScale;
    };
    const Case cases[] = {
        {2, "Current 1", "A", 20.0},         {4, "Voltage 1", "V", 400.0},
        {14, "Current 2", "A", 5.0},         {16, "Voltage 2", "V", 250.0},
        {6, "Active Power 1", "W", 8000.0},  {28, "Reactive Power 1", "var", 8000.0},
        {18, "Active Power 2", "W", 1250.0}, {34, "Reactive Power 2", "var", 1250.0}};
    for (const Case& c : cases) {
        const auto u = sampleUnitOf(c.byte, bench());
        ASSERT_TRUE(u) << int(c.byte);
        EXPECT_EQ(u->channel, c.channel);
        EXPECT_STREQ(u->unit, c.unit) << c.channel;
        EXPECT_DOUBLE_EQ(u->fullScale, c.fullScale) << c.channel;
    }
    EXPECT_FALSE(sampleUnitOf(0, bench()));
    EXPECT_FALSE(sampleUnitOf(8, bench()));
}

TEST(SampleUnits, CsvNamesTheChannelAndGivesEachCodeAsTheFractionOfFullScale) {
    const SampleUnit u{"Voltage 1", "V", 400.0};
    const std::int32_t codes[] = {8388607, -8388608, 4194304, 0, -1};
    EXPECT_EQ(samplesInUnitsCsv(u, 8388608, 4000.0, codes),
              "# Voltage 1 in V: 400 V at full-scale code 8388608, 4000 samples/s\n"
              "index,code,value_V\n"
              "1,8388607,399.999952\n"
              "2,-8388608,-400.000000\n"
              "3,4194304,200.000000\n"
              "4,0,0.000000\n"
              "5,-1,-0.000048\n");
    // A file's own full-scale code counts instead of 2^23.
    const std::int32_t half[] = {1000};
    EXPECT_EQ(samplesInUnitsCsv({"Current 2", "A", 5.0}, 2000, 1.0, half),
              "# Current 2 in A: 5 A at full-scale code 2000, 1 samples/s\n"
              "index,code,value_A\n1,1000,2.500000\n");
}

TEST(SampleUnits, BoardCaptureIsWrittenInUnitsAndFileBlocksAreRefused) {
    test::SimRig rig;
    ASSERT_EQ(rig.open(), 0);
    collection::DataCollection data(rig.session);
    const std::string path = ::testing::TempDir() + "sample_units.csv";
    std::remove(path.c_str());
    std::string why;
    EXPECT_FALSE(writeSamplesInUnits(path, data, 1, bench(), &why));
    EXPECT_EQ(why, "no block has been captured");

    data.settings.setSampleIndex(3);  // 128 samples: more than a line cycle
    data.settings.selectPair(0);
    ASSERT_EQ(data.collectSequence([&] { return data.captureBlock(); }), 0);
    ASSERT_TRUE(writeSamplesInUnits(path, data, 2, bench(), &why)) << why;
    const std::string text = slurp(path);
    EXPECT_EQ(text, samplesInUnitsCsv(
                        {"Voltage 1", "V", 400.0}, 8388608, 4000.0,
                        std::span<const std::int32_t>(data.buffers.channel2_data).first(128)));
    // The default source's V1 peaks near 0.6 of full scale: about 240 V at 400 V.
    const auto [lo, hi] = std::minmax_element(data.buffers.channel2_data.begin(),
                                              data.buffers.channel2_data.begin() + 128);
    EXPECT_NEAR(*hi / 8388608.0 * 400.0, 240.0, 5.0);
    EXPECT_NEAR(*lo / 8388608.0 * 400.0, -240.0, 5.0);
    ASSERT_TRUE(writeSamplesInUnits(path, data, 1, bench(), &why));
    EXPECT_EQ(slurp(path).rfind("# Current 1 in A: 20 A at", 0), 0u);

    // A capture file's block: the file does not say what it holds, and nothing is written.
    std::ofstream(path) << "kept\n";
    rig.session.port_number = kPortDisk;
    EXPECT_FALSE(writeSamplesInUnits(path, data, 1, bench(), &why));
    EXPECT_EQ(why, "a capture file does not say which quantity its samples are");
    EXPECT_EQ(slurp(path), "kept\n");
}
