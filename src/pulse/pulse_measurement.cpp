#include "pulse/pulse_measurement.h"

#include <algorithm>
#include <cmath>

#include "support/format.h"

namespace evkit::pulse {

std::uint32_t gateWord(double seconds) {
    if (!(seconds > 0.0)) return 0;
    // 50 T in binary floating point can fall just short of a whole number (50 x 2.3 is
    // 114.999...); a product that close to a whole number counts as that number, so every
    // T given to the hundredth of a second gives exactly T / 0.02 units.
    const double units = 50.0 * seconds;
    const double nearest = std::round(units);
    const double whole =
        std::fabs(units - nearest) <= 1e-9 * std::max(1.0, nearest) ? nearest : std::floor(units);
    if (whole >= static_cast<double>(kMaxGateWord)) return kMaxGateWord;
    return static_cast<std::uint32_t>(whole);
}

double deadTime(std::int32_t cycleCount) {
    return 2.0 * cycleCount / kDeadTimeDivisor;
}

double rate(std::int32_t count, double seconds, std::int32_t cycleCount) {
    return count / (seconds - deadTime(cycleCount));
}

std::optional<std::string> gateProblem(double seconds, std::int32_t cycleCount) {
    const double dead = deadTime(cycleCount);
    if (!std::isfinite(seconds) || seconds <= dead)
        return strprintf(
            "The gate time must be longer than %g s (2 x cycle count %d / 4000); with %g s the "
            "rates cannot be computed. No count was started.",
            dead, static_cast<int>(cycleCount), seconds);
    if (gateWord(seconds) == 0)
        return strprintf(
            "The gate time must be at least %g s (one gate unit); with %g s the board would "
            "count for no time at all. No count was started.",
            kGateUnit, seconds);
    if (50.0 * seconds > static_cast<double>(kMaxGateWord) + 0.5)
        return strprintf("The gate time must not exceed %g s. No count was started.",
                         kMaxGateWord / 50.0);
    return std::nullopt;
}

double RunningStats::deviation() const {
    if (n_ == 0) return 0.0;
    const double m = sum_ / n_;
    const double variance = squares_ / n_ - m * m;
    return variance < kVarianceFloor ? 0.0 : std::sqrt(variance);
}

int measure(BoardLink& link, double seconds, int repeat, const Callbacks& callbacks) {
    BoardClaim claim(link, "a pulse measurement");
    if (!claim.ok()) return kStatusBusy;

    std::int32_t n = 0;
    if (int s = link.readRegister(kCycleCountPage, kCycleCountAddress, &n)) return s;
    n &= 0xFFFFFF;
    // Refused before the measurement starts: nothing of it is shown as begun.
    if (repeat > 0) {
        if (auto problem = gateProblem(seconds, n)) {
            if (callbacks.refused)
                callbacks.refused(*problem);
            else
                link.messages().show(kErrorTitle, *problem);
            return kStatusRefused;
        }
    }
    if (callbacks.started) callbacks.started(n);
    if (repeat <= 0) return 0;
    const std::uint32_t g = gateWord(seconds);

    std::array<RunningStats, 3> stats;
    for (int i = 1; i <= repeat; ++i) {
        std::int32_t words[3] = {0, 0, 0};
        if (int s = link.timedMeasurement(g, words)) return s;
        CountResult r;
        r.index = i;
        // Input 1 answers in result word 1, input 2 in word 0, input 3 in word 2.
        r.counts = {words[1] & 0xFFFFFF, words[0] & 0xFFFFFF, words[2] & 0xFFFFFF};
        for (size_t k = 0; k < 3; ++k) {
            r.rates[k] = rate(r.counts[k], seconds, n);
            stats[k].add(r.rates[k]);
            r.means[k] = stats[k].mean();
            r.deviations[k] = stats[k].deviation();
        }
        if (callbacks.counted) callbacks.counted(r);
        link.processEvents();
        if (callbacks.stopRequested && callbacks.stopRequested()) break;
    }
    return 0;
}

}  // namespace evkit::pulse
