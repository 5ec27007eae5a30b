#pragma once
// Counting the board's three energy pulse inputs over a gate time T, M times, with the
// rates c / (T - 2N/4000) (N the cycle count register) and their running mean and deviation.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "board/board_link.h"

namespace evkit::pulse {

constexpr int kCycleCountPage = 1;
constexpr int kCycleCountAddress = 19;
// Fixed divisor of the dead time; it does not follow the oscillator or the clock divider.
constexpr double kDeadTimeDivisor = 4000.0;
// Variances below this show a deviation of 0.
constexpr double kVarianceFloor = 1e-07;
// Largest gate word the three bytes of command 246 carry.
constexpr std::uint32_t kMaxGateWord = 0xFFFFFF;
constexpr const char* kErrorTitle = "Error";

// Gate unit of command 246, seconds.
constexpr double kGateUnit = 0.02;
// Gate word of command 246: T in units of 20 ms, truncated toward zero; a T given to the
// hundredth of a second gives exactly T / 0.02 units. 0 for T under one unit.
std::uint32_t gateWord(double seconds);
// Seconds of a gate during which the counts are not taken: 2N / 4000.
double deadTime(std::int32_t cycleCount);
// c / (T - 2N/4000).
double rate(std::int32_t count, double seconds, std::int32_t cycleCount);
// nullopt when T and N can be measured with; otherwise the message that explains why not.
std::optional<std::string> gateProblem(double seconds, std::int32_t cycleCount);

// Running sums of one input's rates.
class RunningStats {
  public:
    void add(double r) {
        sum_ += r;
        squares_ += r * r;
        ++n_;
    }
    int count() const { return n_; }
    double mean() const { return n_ ? sum_ / n_ : 0.0; }
    // Population deviation; 0 when the variance is below 1e-07 (rounding of equal rates).
    double deviation() const;

  private:
    double sum_ = 0.0, squares_ = 0.0;
    int n_ = 0;
};

// What one count produced.
struct CountResult {
    int index = 0;  // 1..M
    std::array<std::int32_t, 3> counts{};
    std::array<double, 3> rates{};
    std::array<double, 3> means{};
    std::array<double, 3> deviations{};
};

struct Callbacks {
    // After the cycle count has been read and the gate time accepted, before the first count.
    std::function<void(std::int32_t cycleCount)> started;
    // A gate time refused (with the reason); without it the refusal is a message box.
    std::function<void(const std::string& why)> refused;
    // After each count.
    std::function<void(const CountResult&)> counted;
    // Asked after each count (after events were processed): true leaves the loop.
    std::function<bool()> stopRequested;
};

// Runs a measurement: claims the board, reads the cycle count, refuses a gate time not
// longer than the dead time (kStatusRefused, said through `refused` or a message), then
// counts M times. Returns 0, the
// failed command's status, kStatusCancelled (255) when the timed measurement was cancelled,
// or kStatusBusy.
int measure(BoardLink& link, double seconds, int repeat, const Callbacks& callbacks);

constexpr int kStatusRefused = -130;

}  // namespace evkit::pulse
