#include "spectrum/reference_level.h"

#include <map>
#include <mutex>
#include <tuple>

#include "spectrum/analysis.h"
#include "spectrum/refft.h"
#include "spectrum/windows.h"

namespace evkit::spectrum {

namespace {

double computeLevel(int n, int window, int range, std::span<double> power) {
    // The tone is written and windowed in place in the transform's own buffer, as fft()
    // windows its block in place: no copy of the block is kept.
    SpectralState state;
    WindowLobe lobe;
    windowLobe(window, &lobe);
    state.ndt = lobe.ndt;
    const auto w = windowCoefficients(window, n);
    transformFilled(
        n,
        [&](std::span<double> x) {
            perfect_sinewave(x, range);
            for (std::size_t i = 0; i < x.size(); ++i) x[i] *= w[i];
        },
        power.first(static_cast<std::size_t>(n)));
    return fundamental(state, power.first(static_cast<std::size_t>(n)), true);
}

class LevelCache {
  public:
    double get(int n, int window, int range, std::span<double> scratch) {
        const auto key = std::make_tuple(n, window, range);
        {
            std::lock_guard lock(mutex_);
            if (auto it = levels_.find(key); it != levels_.end()) return it->second;
        }
        // Computed outside the lock: the transform takes its own.
        const double level = computeLevel(n, window, range, scratch);
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

double referenceLevel(int n, int window, int range, std::span<double> scratch) {
    static LevelCache cache;
    return cache.get(n, window, range, scratch);
}

}  // namespace evkit::spectrum
