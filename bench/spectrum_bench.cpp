// One complete FFT analysis (reference tone, window, transform, power spectrum, figures of
// merit, dB conversion and plot numbers) and one averaging step, at several block lengths;
// beside them the floor of an analysis: one bare real transform and one log10 pass.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "spectrum/freq_test.h"
#include "spectrum/windows.h"
#include "support/messages.h"

namespace {

using namespace evkit::spectrum;

std::vector<double> testBlock(int n) {
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        x[i] = std::round(4e6 * std::sin(2.0 * std::numbers::pi * 1031.0 * i / n) +
                          ((i * 7919) % 2001 - 1000));
    return x;
}

FftTestSettings settingsFor(int n, int average) {
    FftTestSettings s;
    s.samples = n;
    s.window = kWindowLumen;
    s.average = average;
    s.fs = 4000.0;
    return s;
}

// The block in memory: everything one analysis does, including the reference.
void BM_FullAnalysis(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto block = testBlock(n);
    evkit::RecordingMessages messages;
    FftTest test;
    for (auto _ : state) {
        test.freq_test(settingsFor(n, 1), block, messages);
        benchmark::DoNotOptimize(test.last()->stats.figures.snr);
    }
}
BENCHMARK(BM_FullAnalysis)->Arg(4096)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

// The floor of one analysis: the real-to-complex transform of N points with the plan flags
// the analysis uses, then 10 log10 of the power of bins 0..N/2. BM_FullAnalysis / this is
// what the rest of the analysis costs on top.
void BM_TransformFloor(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto block = testBlock(n);
    const auto un = static_cast<std::size_t>(n);
    double* in = fftw_alloc_real(un);
    fftw_complex* out = fftw_alloc_complex(un / 2 + 1);
    const fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_ESTIMATE);
    std::vector<double> db(un / 2 + 1);
    for (auto _ : state) {
        std::copy(block.begin(), block.end(), in);
        fftw_execute(plan);
        for (std::size_t k = 0; k <= un / 2; ++k)
            db[k] = 10.0 * std::log10(out[k][0] * out[k][0] + out[k][1] * out[k][1]);
        benchmark::DoNotOptimize(db.data());
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}
BENCHMARK(BM_TransformFloor)->Arg(4096)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

// A test of 8 averaged blocks (one reference, then per block: transform, averaging in linear
// power, figures, dB and plot numbers); the rate counts blocks.
void BM_AveragingStep(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const auto block = testBlock(n);
    evkit::RecordingMessages messages;
    FftTest test;
    const int blocks = 8;
    for (auto _ : state) {
        test.freq_test(
            settingsFor(n, blocks), [] { return 0; }, block, messages);
        benchmark::DoNotOptimize(test.last()->stats.figures.snr);
    }
    // items_per_second = averaged blocks per second.
    state.SetItemsProcessed(state.iterations() * blocks);
}
BENCHMARK(BM_AveragingStep)->Arg(4096)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

}  // namespace
