#include "spectrum/refft.h"

#include <fftw3.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace evkit::spectrum {

namespace {

// One real-to-complex plan with its own aligned buffers.
struct Plan {
    explicit Plan(int n)
        : size(n),
          in(fftw_alloc_real(static_cast<std::size_t>(n))),
          out(fftw_alloc_complex(static_cast<std::size_t>(n / 2 + 1))),
          plan(fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE)) {}
    ~Plan() {
        fftw_destroy_plan(plan);
        fftw_free(out);
        fftw_free(in);
    }
    Plan(const Plan&) = delete;
    Plan& operator=(const Plan&) = delete;

    int size;
    double* in;
    fftw_complex* out;
    fftw_plan plan;
};

// Plans (with their buffers and tables, about 3 x 8 N bytes) are kept for the usual block
// lengths; a longer block's plan is made for it and freed after use, so that one huge
// analysis does not hold hundreds of megabytes for the rest of the process.
constexpr int kLargestKeptPlan = 1 << 17;

// FFTW's planner is not thread-safe and each plan owns its buffers, so planning and
// execution both run under one lock.
class PlanCache {
  public:
    // Runs the transform of x and hands the N/2 + 1 complex outputs to `use` under the lock.
    template <typename Use>
    void run(std::span<const double> x, Use&& use) {
        runFilled(
            static_cast<int>(x.size()),
            [&](double* in) { std::memcpy(in, x.data(), x.size() * sizeof(double)); },
            std::forward<Use>(use));
    }
    // The same with the n inputs written by `fill`.
    template <typename Fill, typename Use>
    void runFilled(int n, Fill&& fill, Use&& use) {
        std::lock_guard lock(mutex_);
        std::unique_ptr<Plan> once;
        if (n > kLargestKeptPlan) once = std::make_unique<Plan>(n);
        auto& slot = once ? once : plans_[n];
        if (!slot) slot = std::make_unique<Plan>(n);
        fill(slot->in);
        fftw_execute(slot->plan);
        use(static_cast<const fftw_complex*>(slot->out));
    }

  private:
    std::mutex mutex_;
    std::unordered_map<int, std::unique_ptr<Plan>> plans_;
};

PlanCache& plans() {
    static PlanCache cache;
    return cache;
}

// |X[k]|^2 of bins 0..N/2, mirrored into the upper half.
void toPower(const fftw_complex* out, std::size_t n, std::span<double> power) {
    const std::size_t half = n / 2;
    for (std::size_t k = 0; k <= half; ++k)
        power[k] = out[k][0] * out[k][0] + out[k][1] * out[k][1];
    for (std::size_t k = half + 1; k < n; ++k) power[k] = power[n - k];
}

}  // namespace

void ReFFT(std::span<double> re, std::span<double> im) {
    const std::size_t n = re.size();
    if (n == 0) return;
    plans().run(re, [&](const fftw_complex* out) {
        const std::size_t half = n / 2;
        for (std::size_t k = 0; k <= half; ++k) {
            re[k] = out[k][0];
            im[k] = out[k][1];
        }
        for (std::size_t k = half + 1; k < n; ++k) {
            re[k] = out[n - k][0];
            im[k] = -out[n - k][1];
        }
    });
}

void powerSpectrum(std::span<const double> re, std::span<const double> im,
                   std::span<double> power) {
    for (std::size_t k = 0; k < power.size(); ++k) power[k] = re[k] * re[k] + im[k] * im[k];
}

void realPowerSpectrum(std::span<const double> x, std::span<double> power) {
    const std::size_t n = x.size();
    if (n == 0) return;
    plans().run(x, [&](const fftw_complex* out) { toPower(out, n, power); });
}

void windowedPowerSpectrum(std::span<const double> x, std::span<const double> w,
                           std::span<double> power) {
    const std::size_t n = x.size();
    if (n == 0) return;
    plans().runFilled(
        static_cast<int>(n),
        [&](double* in) {
            for (std::size_t i = 0; i < n; ++i) in[i] = x[i] * w[i];
        },
        [&](const fftw_complex* out) { toPower(out, n, power); });
}

void transformFilled(int n, const std::function<void(std::span<double>)>& fill,
                     std::span<double> power) {
    if (n <= 0) return;
    plans().runFilled(
        n, [&](double* in) { fill(std::span<double>(in, static_cast<std::size_t>(n))); },
        [&](const fftw_complex* out) { toPower(out, static_cast<std::size_t>(n), power); });
}

}  // namespace evkit::spectrum
