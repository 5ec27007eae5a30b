// One complete FFT analysis (reference tone, window, transform, power spectrum, figures of
// merit, dB conversion and plot numbers) and one averaging step, at several block lengths.
#include <benchmark/benchmark.h>

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
