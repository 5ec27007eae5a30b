#pragma once
// Per-update sums of the twenty quantities: mean and standard deviation of the cycles of
// one update.
#include <cmath>
#include <limits>

#include "conversion/record.h"

namespace evkit::conversion {

class UpdateStatistics {
  public:
    void reset() {
        sum_.fill(0.0);
        sumSquares_.fill(0.0);
        n_ = 0;
    }
    void add(const Values& v) {
        for (size_t i = 0; i < v.size(); ++i) {
            sum_[i] += v[i];
            sumSquares_[i] += v[i] * v[i];
        }
        ++n_;
    }
    int count() const { return n_; }
    double mean(int q) const { return n_ > 0 ? sum_[static_cast<size_t>(q)] / n_ : 0.0; }
    // sqrt(sum of squares / n - mean^2). Identical readings leave the difference within a few
    // rounding steps of zero, above or below depending on the compiler's evaluation order;
    // anything that small is below what the formula resolves and shows as 0 (never as
    // not-a-number or as a spurious deviation).
    double deviation(int q) const {
        if (n_ == 0) return 0.0;
        const double m = mean(q);
        const double meanSquare = sumSquares_[static_cast<size_t>(q)] / n_;
        const double variance = meanSquare - m * m;
        constexpr double kResolved = 8 * std::numeric_limits<double>::epsilon();
        return variance > kResolved * meanSquare ? std::sqrt(variance) : 0.0;
    }
    Values means() const {
        Values out{};
        for (int q = 0; q < kQuantities; ++q) out[static_cast<size_t>(q)] = mean(q);
        return out;
    }
    Values deviations() const {
        Values out{};
        for (int q = 0; q < kQuantities; ++q) out[static_cast<size_t>(q)] = deviation(q);
        return out;
    }

  private:
    Values sum_{};
    Values sumSquares_{};
    int n_ = 0;
};

}  // namespace evkit::conversion
