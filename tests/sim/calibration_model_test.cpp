// The virtual board's calibration, pulse and temperature behaviour, seen through its inputs.
#include <gtest/gtest.h>

#include <cmath>

#include "calibration/calibration.h"
#include "pulse/pulse_measurement.h"
#include "registers/conversions.h"
#include "sim/calibration_model.h"
#include "sim/pulse_model.h"
#include "sim/temperature_model.h"
#include "sim_rig.h"

using namespace evkit;

namespace {

constexpr double kFullScale = 8388608.0;

struct SimCalibrationTest : ::testing::Test {
    void SetUp() override { ASSERT_EQ(rig.open(), 0); }

    sim::DeviceModel& device() { return rig.board.device(); }

    // Mean sample code of a capture-like block of `count` samples from sample number `first`.
    double meanCode(sim::Input input, std::uint64_t first, int count) {
        const double rate = device().wordRate();
        double sum = 0.0;
        for (int i = 0; i < count; ++i) {
            const std::uint64_t n = first + static_cast<std::uint64_t>(i);
            sum += std::lround(device().input(input, n / rate, n) * kFullScale);
        }
        return sum / count;
    }
    // The RMS the converter reports over one computation cycle starting now.
    double reportedRms(sim::Input input) {
        const auto w = sim::cycleWindow(device(), rig.clock.now());
        double ms = 0.0;
        for (int i = 0; i < w.count; ++i) {
            const std::uint64_t n = w.first + static_cast<std::uint64_t>(i);
            const double x = device().input(input, w.time(n), n);
            ms += x * x;
        }
        return sim::reportedRms(device(), input, ms / w.count);
    }
    int calibrate(const char* control) {
        return calibration::calibrateControl(rig.link, control, false, {});
    }

    test::SimRig rig;
};

}  // namespace

TEST_F(SimCalibrationTest, DcOffsetCalibrationCancelsTheDcLevelOfEveryChannel) {
    const std::uint64_t first = 123456;
    const double before = meanCode(sim::kI1, first, 4096);
    ASSERT_EQ(calibrate("CAL_DC_OFFSET_ALL"), 0);
    const double after = meanCode(sim::kI1, first, 4096);
    EXPECT_LT(std::abs(after), std::abs(before));
    EXPECT_NEAR(before - after, 0.0030 * kFullScale, 15.0);
    // Over whole line cycles nothing but noise is left on any channel.
    for (auto input : {sim::kV1, sim::kI1, sim::kV2, sim::kI2})
        EXPECT_LT(std::abs(meanCode(input, first, 4000)), 20.0) << input;
    // The register holds minus the level; the window shows it as a signed fraction.
    EXPECT_NEAR(Hex_to_TwosComp(static_cast<std::int32_t>(device().reg(1, 9))), 0.0015, 1e-6);
}

TEST_F(SimCalibrationTest, GainCalibrationBringsTheReportedRmsToTheTarget) {
    ASSERT_EQ(calibrate("CAL_DC_OFFSET_ALL"), 0);
    ASSERT_EQ(calibrate("CAL_GAIN_ALL"), 0);
    for (auto input : {sim::kV1, sim::kI1, sim::kV2, sim::kI2}) {
        const double rms = reportedRms(input);
        EXPECT_NEAR(rms / sim::kGainCalibrationTargetRms, 1.0, 0.005) << input;
    }
    // I2 (0.25 of full scale) needs a gain above 2: the signed display turns negative.
    const auto word = device().reg(1, 8);
    EXPECT_GT(word, 0x800000u);
    EXPECT_NEAR(Hex_to_Decimal(static_cast<std::int32_t>(word), 2, 0),
                sim::kGainCalibrationTargetRms / (0.25 / std::sqrt(2.0)), 0.05);
}

TEST_F(SimCalibrationTest, AcOffsetCalibrationCancelsTheNoiseFloor) {
    // With no signal on the input, the reported RMS is the noise floor.
    device().signal.inputs[sim::kV2] = {0.0, 0, 0, 0, 0, 3e-4};
    const double before = reportedRms(sim::kV2);
    EXPECT_NEAR(before, 3e-4, 3e-5);
    ASSERT_EQ(calibrate("CAL_AC_OFFSET_V2"), 0);
    EXPECT_LT(reportedRms(sim::kV2), before * 0.5);
    EXPECT_GT(device().reg(1, 13), 0x800000u);  // a negative mean-square correction
    EXPECT_EQ(device().reg(1, 6), 0u);          // other channels untouched
}

TEST_F(SimCalibrationTest, RegisterWritesAndPowerOnDriveTheCorrection) {
    ASSERT_EQ(rig.link.writeRegister(1, 3, 0x200000), 0);  // V1 gain 0.5
    ASSERT_EQ(rig.link.writeRegister(1, 2, 0x800000), 0);  // V1 offset -1.0
    EXPECT_DOUBLE_EQ(device().correction[sim::kV1].gain, 0.5);
    EXPECT_DOUBLE_EQ(device().correction[sim::kV1].offset, -1.0);
    const double raw = device().signal.value(sim::kV1, 0.123, 7);
    EXPECT_DOUBLE_EQ(device().input(sim::kV1, 0.123, 7), 0.5 * (raw - 1.0));
    ASSERT_EQ(rig.link.sendCommand(0xF4), 0);
    EXPECT_DOUBLE_EQ(device().correction[sim::kV1].gain, 1.0);
    EXPECT_DOUBLE_EQ(device().correction[sim::kV1].offset, 0.0);
    EXPECT_EQ(device().reg(1, 3), 0x400000u);
}

TEST_F(SimCalibrationTest, PulseRatesFollowActiveEnergyAndThePulseRateRegister) {
    const auto f = sim::pulseFrequencies(device(), rig.clock.now());
    // Channel 1: 0.6 x 0.4 / 2 x cos 30 degrees of full-scale power, at 100 pulses/s per 0.1.
    EXPECT_NEAR(f[0], 100.0 * 0.6 * 0.4 / 2 * std::cos(M_PI / 6) / 0.1, 1.0);
    EXPECT_NEAR(f[2], f[0] + f[1], 1e-9);

    const auto run = [&](double seconds, int repeat) {
        std::vector<pulse::CountResult> results;
        pulse::Callbacks cb;
        cb.counted = [&](const pulse::CountResult& r) { results.push_back(r); };
        EXPECT_EQ(pulse::measure(rig.link, seconds, repeat, cb), 0);
        return results;
    };
    auto results = run(3.0, 6);  // N = 4000: one second of counting per gate
    ASSERT_EQ(results.size(), 6u);
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(results.back().means[k], f[k], 1.0) << k;
        EXPECT_LT(results.back().deviations[k], 1.0) << k;
        for (const auto& r : results) EXPECT_NEAR(r.rates[k], f[k], 1.0) << k;
    }
    ASSERT_EQ(rig.link.writeRegister(1, 14, 800), 0);  // pulse rate 200
    results = run(3.0, 4);
    EXPECT_NEAR(results.back().means[0], 2 * f[0], 1.0);
}

TEST_F(SimCalibrationTest, TemperatureRegistersShapeTheTemperatureResult) {
    EXPECT_DOUBLE_EQ(sim::temperatureDegrees(device()), sim::kDieTemperature);
    EXPECT_EQ(sim::temperatureWord(device()), 25u << 16);
    ASSERT_EQ(rig.link.writeRegister(1, 22, 0x400000), 0);  // g = 32: half the slope
    EXPECT_NEAR(sim::temperatureDegrees(device()), 12.5, 1e-9);
    ASSERT_EQ(rig.link.writeRegister(1, 23, 0x000100), 0);  // o = 2^-15
    EXPECT_NEAR(sim::temperatureDegrees(device()), 12.5 + 833.333 / 32768, 1e-9);
    ASSERT_EQ(rig.link.writeRegister(1, 23, 0x400000), 0);  // far beyond the format: saturates
    EXPECT_EQ(sim::temperatureWord(device()), 0x7FFFFFu);
    ASSERT_EQ(rig.link.writeRegister(1, 22, 0), 0);
    EXPECT_EQ(sim::temperatureWord(device()), 0x7FFFFFu);
}
