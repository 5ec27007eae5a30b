#include "spectrum/coherent.h"

#include <cmath>
#include <numeric>

#include "support/format.h"

namespace evkit::spectrum {

namespace {

bool isPrime(long long m) {
    if (m < 2) return false;
    if (m % 2 == 0) return m == 2;
    for (long long d = 3; d * d <= m; d += 2)
        if (m % d == 0) return false;
    return true;
}

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

std::optional<CoherentFrequency> coherentFrequency(double fs, long long n, double near,
                                                   std::string* error) {
    if (!(fs > 0.0) || !std::isfinite(fs)) {
        fail(error, "the sample rate must be above 0 Hz");
        return std::nullopt;
    }
    if (n < 4 || n > (1LL << 30)) {
        fail(error, "the sample count must be 4..1073741824");
        return std::nullopt;
    }
    if (!(near > 0.0 && near < fs / 2.0)) {
        fail(error, strprintf("the frequency must lie between 0 and %g Hz (half the sample rate)",
                              fs / 2.0));
        return std::nullopt;
    }
    // Candidates 1 .. N/2 - 1 (cycles at N/2 or above would alias).
    const long long top = (n - 1) / 2;
    const double wanted = near * static_cast<double>(n) / fs;
    auto nearest = [&](bool primeOnly) -> std::optional<long long> {
        const auto start = static_cast<long long>(std::floor(wanted));
        std::optional<long long> found;
        double foundDistance = 0.0;
        // Outward from the wanted count; a candidate `step` away on either side is at least
        // `step` cycles from it, so the walk ends once that passes the best distance.
        for (long long step = 0; start - step >= 1 || start + 1 + step <= top; ++step) {
            if (found && static_cast<double>(step) > foundDistance) break;
            for (long long m : {start - step, start + 1 + step}) {
                if (m < 1 || m > top || std::gcd(m, n) != 1) continue;
                const bool prime = isPrime(m);
                if (primeOnly && !prime) continue;
                const double d = std::fabs(static_cast<double>(m) - wanted);
                const bool tie = found && d == foundDistance;
                const bool better = !found || d < foundDistance ||
                                    (tie && (prime != isPrime(*found) ? prime : m < *found));
                if (better) {
                    found = m;
                    foundDistance = d;
                }
            }
        }
        return found;
    };
    const std::optional<long long> m = nearest(false);
    if (!m) {
        fail(error, "no cycle count below half the sample count is co-prime with it");
        return std::nullopt;
    }
    CoherentFrequency c;
    c.cycles = *m;
    c.frequency = static_cast<double>(*m) * fs / static_cast<double>(n);
    c.prime = isPrime(*m);
    if (const std::optional<long long> p = c.prime ? m : nearest(true)) {
        c.primeCycles = *p;
        c.primeFrequency = static_cast<double>(*p) * fs / static_cast<double>(n);
    }
    return c;
}

}  // namespace evkit::spectrum
