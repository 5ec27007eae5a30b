#include "sim/capture_stream.h"

#include <algorithm>
#include <cmath>

#include "collection/collection_settings.h"

namespace evkit::sim {

namespace {

constexpr double kFullScale = 8388608.0;
constexpr int kPairsPerPacket = 10;  // 20 values of 3 bytes

double reactive(const DeviceModel& d, Input v, Input i, double t, std::uint64_t n) {
    const double quarter = 0.25 / d.signal.lineFrequency;
    return d.input(v, t - quarter, n) * d.input(i, t, n);
}

// Streams `pairs` samples of two registers from `start` at `rate` pairs per second.
class CaptureStream : public Activity {
  public:
    CaptureStream(std::uint8_t reg1, std::uint8_t reg2, int pairs, double start, double rate)
        : reg1_(reg1), reg2_(reg2), pairs_(pairs), start_(start), rate_(rate) {}

    double nextTime() const override {
        if (sent_ >= pairs_) return kNever;
        // A packet leaves once its last pair has been converted.
        return start_ + (sent_ + kPairsPerPacket) / rate_;
    }

    std::vector<std::uint8_t> produce(VirtualBoard& board) override {
        std::vector<std::uint8_t> out;
        out.reserve(kPairsPerPacket * 6);
        const DeviceModel& d = board.device();
        for (int j = 0; j < kPairsPerPacket; ++j, ++sent_) {
            const double t = start_ + sent_ / rate_;
            const auto n = static_cast<std::uint64_t>(std::llround(t * rate_));
            for (std::uint8_t reg : {reg1_, reg2_}) {
                const auto code =
                    static_cast<std::uint32_t>(toCode(instantaneousQuantity(d, reg, t, n)));
                out.push_back(static_cast<std::uint8_t>(code));
                out.push_back(static_cast<std::uint8_t>(code >> 8));
                out.push_back(static_cast<std::uint8_t>(code >> 16));
            }
        }
        return out;
    }

  private:
    std::uint8_t reg1_, reg2_;
    int pairs_;
    double start_, rate_;
    int sent_ = 0;
};

class CaptureStreamModule : public FirmwareModule {
  public:
    bool onFrame(VirtualBoard& board, const Frame& f) override {
        if (f[0] != 248) return false;
        // A new capture replaces whatever the firmware was streaming. Byte 3 (noise
        // management) and byte 5 (data delay) do not change the virtual board's samples.
        board.stopActivities();
        const auto count = collection::sampleCountForIndex(f[4]);
        const double rate = board.device().wordRate();
        if (!count || rate <= 0.0) return true;  // nothing to stream: the host times out
        const int values = *count * 2;
        const int packets = (values + 2 * kPairsPerPacket - 1) / (2 * kPairsPerPacket);
        board.startActivity(std::make_unique<CaptureStream>(f[1], f[2], packets * kPairsPerPacket,
                                                            board.now(), rate));
        return true;
    }
};

}  // namespace

std::int32_t toCode(double fraction) {
    const double code = std::round(fraction * kFullScale);
    return static_cast<std::int32_t>(std::clamp(code, -kFullScale, kFullScale - 1.0));
}

double instantaneousQuantity(const DeviceModel& d, std::uint8_t readByte, double t,
                             std::uint64_t n) {
    switch (readByte) {
        case 2:
            return d.input(kI1, t, n);
        case 4:
            return d.input(kV1, t, n);
        case 14:
            return d.input(kI2, t, n);
        case 16:
            return d.input(kV2, t, n);
        case 6:
            return d.input(kV1, t, n) * d.input(kI1, t, n);
        case 28:
            return reactive(d, kV1, kI1, t, n);
        case 18:
            return d.input(kV2, t, n) * d.input(kI2, t, n);
        case 34:
            return reactive(d, kV2, kI2, t, n);
        default: {
            std::uint32_t word = d.reg(0, readByte >> 1) & 0xFFFFFF;
            if (word & 0x800000) word |= 0xFF000000u;
            return static_cast<std::int32_t>(word) / kFullScale;
        }
    }
}

std::unique_ptr<FirmwareModule> makeCaptureStreamModule() {
    return std::make_unique<CaptureStreamModule>();
}

}  // namespace evkit::sim
