#include "sim/calibration_model.h"

#include <algorithm>
#include <cmath>

#include "registers/conversions.h"
#include "sim/virtual_board.h"

namespace evkit::sim {

namespace {

constexpr int kPage = 1;
constexpr double kMaxGain = 4.0 - 0x1.0p-22;  // largest word of the unsigned 2.22 format
constexpr int kMaxWindow = 65536;

std::uint32_t fractionWord(double x) {
    return static_cast<std::uint32_t>(TwosComp_to_Hex(std::clamp(x, -1.0, 1.0))) & 0xFFFFFFu;
}

std::uint32_t gainWord(double g) {
    return static_cast<std::uint32_t>(Decimal_to_Hex(std::clamp(g, 0.0, kMaxGain), 2)) & 0xFFFFFFu;
}

double offsetOf(const DeviceModel& d, Input input) {
    return Hex_to_TwosComp(
        static_cast<std::int32_t>(d.reg(kPage, calibrationAddresses(input).dcOffset)));
}

// DC offset: minus the mean of the raw input.
void calibrateDcOffset(DeviceModel& d, Input input, const CycleWindow& w) {
    double sum = 0.0;
    for (int i = 0; i < w.count; ++i) {
        const std::uint64_t n = w.first + static_cast<std::uint64_t>(i);
        sum += d.raw(input, w.time(n), n);
    }
    d.setReg(kPage, calibrationAddresses(input).dcOffset, fractionWord(-sum / w.count));
}

// AC offset: cancels the mean square that the input's noise adds after the gain.
void calibrateAcOffset(DeviceModel& d, Input input, const CycleWindow& w) {
    const auto& in = d.signal.inputs[static_cast<size_t>(input)];
    const double gain = d.correction[static_cast<size_t>(input)].gain;
    const double frontEnd = d.errors.gainFactor(input);
    double sum = 0.0;
    for (int i = 0; i < w.count; ++i) {
        const std::uint64_t n = w.first + static_cast<std::uint64_t>(i);
        const double e = gain * (frontEnd * in.noiseRms *
                                     d.signal.gaussian(static_cast<std::uint64_t>(input), n) +
                                 d.frontEndNoise(input, n));
        sum += e * e;
    }
    d.setReg(kPage, calibrationAddresses(input).acOffset,
             fractionWord(-(sum / w.count) / kAcOffsetScale));
}

// Gain: the reported RMS, sqrt(gain^2 * ms + ac), becomes the target.
void calibrateGain(DeviceModel& d, Input input, const CycleWindow& w) {
    const double offset = offsetOf(d, input);
    double sum = 0.0;
    for (int i = 0; i < w.count; ++i) {
        const std::uint64_t n = w.first + static_cast<std::uint64_t>(i);
        const double x = d.raw(input, w.time(n), n) + offset;
        sum += x * x;
    }
    const double ms = sum / w.count;
    if (ms <= 0.0) return;  // nothing to calibrate against; the register keeps its word
    const double target = kGainCalibrationTargetRms * kGainCalibrationTargetRms;
    const double g = std::sqrt(std::max(0.0, target - acOffsetMeanSquare(d, input)) / ms);
    d.setReg(kPage, calibrationAddresses(input).gain, gainWord(g));
}

}  // namespace

CycleWindow cycleWindow(const DeviceModel& device, double now) {
    double rate = device.wordRate();
    if (rate <= 0.0) rate = 4000.0;
    const auto n = static_cast<int>(device.reg(1, 19) & 0xFFFFFF);
    const int count = n > 0 ? std::min(n, kMaxWindow) : static_cast<int>(std::min(rate, 65536.0));
    const auto first = static_cast<std::uint64_t>(std::max(0.0, std::floor(now * rate)));
    return {first, std::max(count, 1), rate};
}

CalibrationAddresses calibrationAddresses(Input input) {
    switch (input) {
        case kI1:
            return {0, 1, 5};
        case kV1:
            return {2, 3, 6};
        case kI2:
            return {7, 8, 12};
        case kV2:
            return {9, 10, 13};
    }
    return {0, 1, 5};
}

void applyCalibrationRegisters(DeviceModel& device) {
    for (Input input : {kV1, kI1, kV2, kI2}) {
        const auto a = calibrationAddresses(input);
        auto& c = device.correction[static_cast<size_t>(input)];
        c.offset = Hex_to_TwosComp(static_cast<std::int32_t>(device.reg(kPage, a.dcOffset)));
        c.gain = Hex_to_Decimal(static_cast<std::int32_t>(device.reg(kPage, a.gain)), 2, 0);
    }
}

double acOffsetMeanSquare(const DeviceModel& device, Input input) {
    const auto word = device.reg(kPage, calibrationAddresses(input).acOffset);
    return Hex_to_TwosComp(static_cast<std::int32_t>(word)) * kAcOffsetScale;
}

double reportedRms(const DeviceModel& device, Input input, double meanSquare) {
    return std::sqrt(std::max(0.0, meanSquare + acOffsetMeanSquare(device, input)));
}

bool runCalibrationCommand(DeviceModel& device, int b, double now) {
    if (b < 0x81 || b > 0xBF || (b & 0x0F) == 0) return false;
    const int type = b & 0x30;
    const int channels = b & 0x0F;
    const CycleWindow w = cycleWindow(device, now);
    // Channel bits: 0 = I1, 1 = V1, 2 = I2, 3 = V2.
    const Input order[4] = {kI1, kV1, kI2, kV2};
    for (int bit = 0; bit < 4; ++bit) {
        if (!(channels & (1 << bit))) continue;
        const Input input = order[bit];
        if (type == 0x00)
            calibrateDcOffset(device, input, w);
        else if (type == 0x20)
            calibrateAcOffset(device, input, w);
        else
            calibrateGain(device, input, w);  // 0x10 and 0x30: the two gain variants
    }
    applyCalibrationRegisters(device);
    return true;
}

namespace {

class CalibrationModule : public FirmwareModule {
  public:
    bool onFrame(VirtualBoard& board, const Frame& frame) override {
        return runCalibrationCommand(board.device(), frame[0], board.now());
    }
    void onRegisterWrite(VirtualBoard& board, int page, int address, std::uint32_t) override {
        if (page == kPage && address >= 0 && address <= 13)
            applyCalibrationRegisters(board.device());
    }
};

}  // namespace

std::unique_ptr<FirmwareModule> makeCalibrationModule() {
    return std::make_unique<CalibrationModule>();
}

}  // namespace evkit::sim
