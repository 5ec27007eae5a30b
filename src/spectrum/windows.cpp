#include "spectrum/windows.h"

#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace evkit::spectrum {

namespace {

// 2 pi as the coefficients were derived with.
const double kTwoPi = 8.0 * std::atan(1.0);

struct CosineSum {
    int terms;
    std::array<double, 7> a;
};

// Sums of cosines, w[i] = a0 + sum a_k cos(2 pi i k / N), signs as given.
constexpr CosineSum kBlackmanHarris{4, {0.35875, -0.48829, 0.14128, -0.01168, 0, 0, 0}};
constexpr CosineSum kTalon{5,
                           {0.67163459718823, -0.98017116095934, 0.36542092481817,
                            -0.059489208003165, 0.0026481652930186, 0, 0}};
constexpr CosineSum kLumen{7,
                           {0.6164032131405, -0.98537119272586, 0.49603771622007, -0.14992232793243,
                            0.02458719103474, -0.0017660465148687, 3.1581188567106e-05}};
constexpr CosineSum kHanning{2, {0.5, -0.5, 0, 0, 0, 0, 0}};
constexpr CosineSum kBlackman{3, {0.42, -0.5, 0.08, 0, 0, 0, 0}};

const CosineSum* cosineSum(int window) {
    switch (window) {
        case kWindowBlackmanHarris:
            return &kBlackmanHarris;
        case kWindowTalon:
            return &kTalon;
        case kWindowHanning:
            return &kHanning;
        case kWindowBlackman:
            return &kBlackman;
        case kWindowLumen:
            return &kLumen;
        default:
            return nullptr;
    }
}

std::vector<double> build(const CosineSum& w, int n) {
    std::vector<double> out(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        double v = w.a[0];
        for (int k = 1; k < w.terms; ++k) v += w.a[k] * std::cos(kTwoPi * i * k / n);
        out[static_cast<std::size_t>(i)] = v;
    }
    return out;
}

// Coefficient tables are costly (up to six cosines per sample), so each (window, length)
// of the usual sizes is built once; a longer one is built for its use and freed after.
constexpr int kLargestKeptTable = 1 << 17;

class CoefficientCache {
  public:
    WindowTable get(int window, const CosineSum& w, int n) {
        if (n > kLargestKeptTable)
            return WindowTable(std::make_shared<const std::vector<double>>(build(w, n)));
        std::lock_guard lock(mutex_);
        auto& slot = tables_[{window, n}];
        if (!slot) slot = std::make_shared<const std::vector<double>>(build(w, n));
        return WindowTable(slot);
    }

  private:
    std::mutex mutex_;
    std::map<std::pair<int, int>, std::shared_ptr<const std::vector<double>>> tables_;
};

CoefficientCache& cache() {
    static CoefficientCache c;
    return c;
}

void multiply(int window, std::span<double> x) {
    const auto w = windowCoefficients(window, static_cast<int>(x.size()));
    for (std::size_t i = 0; i < x.size(); ++i) x[i] *= w[i];
}

}  // namespace

bool windowLobe(int window, WindowLobe* lobe) {
    // Main-lobe half-widths of the five windows; 7 more bins are kept clear of DC for all.
    static constexpr std::array<int, 5> kNdt{3, 4, 2, 3, 6};
    if (window < 0 || window > 4) return false;
    lobe->ndt = kNdt[static_cast<std::size_t>(window)];
    lobe->sldc = 7;
    return true;
}

WindowTable windowCoefficients(int window, int n) {
    const CosineSum* w = cosineSum(window);
    if (!w || n <= 0) return {};
    return cache().get(window, *w, n);
}

void BlkHrsWin(std::span<double> x) {
    multiply(kWindowBlackmanHarris, x);
}
void TalonWin(std::span<double> x) {
    multiply(kWindowTalon, x);
}
void LumenWin(std::span<double> x) {
    multiply(kWindowLumen, x);
}
void HanWin(std::span<double> x) {
    multiply(kWindowHanning, x);
}
void BkmanWin(std::span<double> x) {
    multiply(kWindowBlackman, x);
}

bool applyWindow(int window, std::span<double> x) {
    if (!cosineSum(window)) return false;
    multiply(window, x);
    return true;
}

}  // namespace evkit::spectrum
