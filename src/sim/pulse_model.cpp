#include "sim/pulse_model.h"

#include <algorithm>
#include <cmath>

#include "sim/calibration_model.h"
#include "sim/virtual_board.h"

namespace evkit::sim {

std::array<double, 3> pulseFrequencies(const DeviceModel& device, double now) {
    const CycleWindow w = cycleWindow(device, now);
    double p1 = 0.0, p2 = 0.0;
    for (int i = 0; i < w.count; ++i) {
        const std::uint64_t n = w.first + static_cast<std::uint64_t>(i);
        const double t = w.time(n);
        p1 += device.input(kV1, t, n) * device.input(kI1, t, n);
        p2 += device.input(kV2, t, n) * device.input(kI2, t, n);
    }
    p1 /= w.count;
    p2 /= w.count;
    const double r = (device.reg(1, 14) & 0xFFFFFF) / 4.0;
    return {r * std::abs(p1) / kPulseReferencePower, r * std::abs(p2) / kPulseReferencePower,
            r * std::abs(p1 + p2) / kPulseReferencePower};
}

namespace {

class PulseModule : public FirmwareModule {
  public:
    bool onFrame(VirtualBoard&, const Frame&) override { return false; }

    bool pulseCounts(VirtualBoard& board, double gateSeconds,
                     std::array<std::uint32_t, 3>& counts) override {
        const DeviceModel& device = board.device();
        const CycleWindow w = cycleWindow(device, board.now());
        const double dead = 2.0 * (device.reg(1, 19) & 0xFFFFFF) / w.rate;
        const double counting = std::max(0.0, gateSeconds - dead);
        const auto f = pulseFrequencies(device, board.now());
        // Counts in the host's word order: word 1 is input 1, word 0 input 2, word 2 input 3.
        const size_t word[3] = {1, 0, 2};
        for (size_t k = 0; k < 3; ++k) {
            const double total = phase_[k] + f[k] * counting;
            const double whole = std::floor(total);
            phase_[k] = total - whole;
            counts[word[k]] = static_cast<std::uint32_t>(std::min(whole, 16777215.0));
        }
        return true;
    }

  private:
    std::array<double, 3> phase_{0.5, 0.5, 0.5};
};

}  // namespace

std::unique_ptr<FirmwareModule> makePulseModule() {
    return std::make_unique<PulseModule>();
}

}  // namespace evkit::sim
