#include "spectrum/reference_level.h"

#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "spectrum/analysis.h"

namespace evkit::spectrum {

namespace {

double computeLevel(int n, int window, int range) {
    std::vector<double> x(static_cast<std::size_t>(n));
    std::vector<double> power(static_cast<std::size_t>(n));
    SpectralState state;
    perfect_sinewave(x, range);
    fft(state, window, x, power);
    return fundamental(state, power, true);
}

class LevelCache {
  public:
    double get(int n, int window, int range) {
        const auto key = std::make_tuple(n, window, range);
        {
            std::lock_guard lock(mutex_);
            if (auto it = levels_.find(key); it != levels_.end()) return it->second;
        }
        // Computed outside the lock: the transform takes its own.
        const double level = computeLevel(n, window, range);
        std::lock_guard lock(mutex_);
        // Files may carry any full scale: the cache stays small whatever is analysed.
        if (levels_.size() >= kMaxEntries) levels_.clear();
        levels_.emplace(key, level);
        return level;
    }

  private:
    static constexpr std::size_t kMaxEntries = 256;
    std::mutex mutex_;
    std::map<std::tuple<int, int, int>, double> levels_;
};

}  // namespace

double referenceLevel(int n, int window, int range) {
    static LevelCache cache;
    return cache.get(n, window, range);
}

}  // namespace evkit::spectrum
