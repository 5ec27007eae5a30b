#include "sim/conversion_stream.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "conversion/record.h"
#include "sim/calibration_model.h"
#include "sim/temperature_model.h"

namespace evkit::sim {

namespace {

using conversion::Values;

// The results of one computation cycle over `count` samples starting at sample n0.
struct CycleResult {
    Values values{};
    double lineFrequency = 0.0;  // measured from V1's rising zero crossings, 0 when unknown
};

CycleResult computeCycle(const DeviceModel& device, std::uint64_t n0, std::uint64_t count,
                         double rate) {
    struct Channel {
        Input v, i;
        double sumV2 = 0, sumI2 = 0, sumP = 0, sumQ = 0, sumV = 0, sumI = 0;
        double peakV = 0, peakI = 0;
    };
    std::array<Channel, 2> ch{{{kV1, kI1}, {kV2, kI2}}};
    const double f = device.signal.lineFrequency;
    const double quarter = f > 0 ? 0.25 / f : 0.0;
    // Zero crossings of V1 (after removing its mean, as the converter's high-pass would).
    std::vector<double> v1(count);
    for (std::uint64_t k = 0; k < count; ++k) {
        const std::uint64_t n = n0 + k;
        const double t = static_cast<double>(n) / rate;
        for (auto& c : ch) {
            const double v = device.input(c.v, t, n);
            const double i = device.input(c.i, t, n);
            // Reactive power: the current against the voltage a quarter period earlier.
            const double vq = device.input(c.v, t - quarter, n);
            c.sumV2 += v * v;
            c.sumI2 += i * i;
            c.sumP += v * i;
            c.sumQ += vq * i;
            c.sumV += v;
            c.sumI += i;
            if (std::fabs(v) > std::fabs(c.peakV)) c.peakV = v;
            if (std::fabs(i) > std::fabs(c.peakI)) c.peakI = i;
        }
        v1[k] = device.input(kV1, t, n);
    }
    CycleResult r;
    const double N = static_cast<double>(count);
    const auto fill = [&](const Channel& c, conversion::Quantity vrms, conversion::Quantity irms,
                          conversion::Quantity p, conversion::Quantity s, conversion::Quantity q,
                          conversion::Quantity pf, conversion::Quantity vpk,
                          conversion::Quantity ipk) {
        // RMS as the converter reports it (its AC offset register acts on the mean square).
        const double V = reportedRms(device, c.v, c.sumV2 / N);
        const double I = reportedRms(device, c.i, c.sumI2 / N);
        const double P = c.sumP / N, S = V * I;
        r.values[vrms] = V;
        r.values[irms] = I;
        r.values[p] = P;
        r.values[s] = S;
        r.values[q] = c.sumQ / N;
        r.values[pf] = S > 0 ? P / S : 0.0;
        r.values[vpk] = c.peakV;
        r.values[ipk] = c.peakI;
    };
    using namespace conversion;
    fill(ch[0], V1RMS, I1RMS, P1AVG, S1, Q1AVG, PF1, V1PEAK, I1PEAK);
    fill(ch[1], V2RMS, I2RMS, P2AVG, S2, Q2AVG, PF2, V2PEAK, I2PEAK);
    // The three further results: the DC content of V1, I1 and V2.
    r.values[EXTRA_1] = ch[0].sumV / N;
    r.values[EXTRA_2] = ch[0].sumI / N;
    r.values[EXTRA_3] = ch[1].sumV / N;
    r.values[T] = temperatureDegrees(device);

    const double mean = ch[0].sumV / N;
    double first = -1, last = -1;
    int crossings = 0;
    for (std::uint64_t k = 1; k < count; ++k) {
        const double a = v1[k - 1] - mean, b = v1[k] - mean;
        if (a < 0 && b >= 0) {
            const double at = static_cast<double>(k - 1) + a / (a - b);
            if (crossings == 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings >= 2 && last > first) r.lineFrequency = (crossings - 1) * rate / (last - first);
    return r;
}

class ConversionStream : public Activity {
  public:
    ConversionStream(std::shared_ptr<int> generation, double start, double rate,
                     std::uint64_t cycle, int limit)
        : generation_(std::move(generation)),
          mine_(*generation_),
          rate_(rate),
          cycle_(cycle),
          remaining_(limit) {
        next_ = static_cast<std::uint64_t>(std::ceil(start * rate_));
    }

    double nextTime() const override {
        if (*generation_ != mine_ || remaining_ == 0) return kNever;
        return static_cast<double>(next_ + cycle_) / rate_;
    }

    std::vector<std::uint8_t> produce(VirtualBoard& board) override {
        DeviceModel& d = board.device();
        const CycleResult r = computeCycle(d, next_, cycle_, rate_);
        next_ += cycle_;
        if (remaining_ > 0) --remaining_;
        // AFC: the epsilon register follows the line frequency (line frequency / word rate).
        if ((d.reg(1, 16) & 1u) && r.lineFrequency > 0) {
            const double steps = std::trunc(r.lineFrequency / rate_ * 8388607.0);
            d.setReg(1, 17, static_cast<std::uint32_t>(std::clamp(steps, 0.0, 8388607.0)));
        }
        // Tmeas counts down once per computation cycle.
        if (const std::uint32_t tm = d.reg(5, 26); tm > 0) d.setReg(5, 26, tm - 1);
        // Bit 23 of S flags a negative active power (reverse energy).
        const std::uint32_t flag1 = r.values[conversion::P1AVG] < 0 ? 0x800000u : 0;
        auto rec = conversion::encodeRecord(r.values);
        const auto setFlag = [&rec](int word, std::uint32_t flag) {
            rec[static_cast<size_t>(3 * word + 2)] |= static_cast<std::uint8_t>(flag >> 16);
        };
        setFlag(conversion::info(conversion::S1).word, flag1);
        setFlag(conversion::info(conversion::S2).word,
                r.values[conversion::P2AVG] < 0 ? 0x800000u : 0);
        return {rec.begin(), rec.end()};
    }

  private:
    std::shared_ptr<int> generation_;
    int mine_;
    double rate_;
    std::uint64_t cycle_;
    int remaining_;  // records still to send; negative = until halted
    std::uint64_t next_;
};

class ConversionStreamModule : public FirmwareModule {
  public:
    bool onFrame(VirtualBoard& board, const Frame& frame) override {
        switch (frame[0]) {
            case 0xF9:
            case 0xFB: {
                ++*generation_;  // a new start replaces a running stream
                const DeviceModel& d = board.device();
                const double rate = d.wordRate();
                const std::uint32_t cycle = d.reg(1, 19);
                // Without a clock divider or a cycle count the converter computes nothing.
                if (rate > 0 && cycle > 0)
                    board.startActivity(std::make_unique<ConversionStream>(
                        generation_, board.now(), rate, cycle,
                        frame[0] == 0xFB ? kSingleGroupRecords : -1));
                return true;
            }
            case 0xB0:
            case 0x90:
                ++*generation_;  // power commands halt the stream
                return false;
            default:
                return false;  // 0xA0 halts every stream in the board's own handling
        }
    }

  private:
    std::shared_ptr<int> generation_ = std::make_shared<int>(0);
};

}  // namespace

std::unique_ptr<FirmwareModule> makeConversionStreamModule() {
    return std::make_unique<ConversionStreamModule>();
}

}  // namespace evkit::sim
