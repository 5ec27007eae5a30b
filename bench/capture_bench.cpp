// Decoding and splitting a full capture, and the histogram of a full block: both must take a
// tiny fraction of the time the board needs to deliver the samples (35000 sample pairs at
// 4000 per second take 8.75 s; a 70000-sample file block stands for twice that).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "collection/analysis.h"
#include "collection/capture.h"

namespace {

using namespace evkit::collection;

std::vector<std::uint8_t> packets() {
    std::vector<std::uint8_t> bytes(static_cast<size_t>(kBufferSize) * 3);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
    return bytes;
}

void BM_DecodeAndSplitFullCapture(benchmark::State& state) {
    const auto bytes = packets();
    CaptureBuffers buffers;
    for (auto _ : state) {
        for (int p = 0; p < kBufferSize / kValuesPerPacket; ++p)
            decodePacket(bytes.data() + static_cast<size_t>(p) * kPacketBytes,
                         buffers.raw_data.data() + static_cast<size_t>(p) * kValuesPerPacket);
        splitChannels(buffers.raw_data, kMaxCaptureSamples, buffers.channel1_data,
                      buffers.channel2_data);
        buffers.sample_data = buffers.channel1_data;
        buffers.convertSampleData();
        benchmark::DoNotOptimize(buffers.sample_real.data());
    }
    state.counters["board_seconds"] = kMaxCaptureSamples / 4000.0;
    state.SetItemsProcessed(state.iterations() * kBufferSize);
}
BENCHMARK(BM_DecodeAndSplitFullCapture)->Unit(benchmark::kMicrosecond);

void BM_HistogramOfFullBlock(benchmark::State& state) {
    // A noisy sine over most of the code range, binned as the settings' default and finer.
    std::vector<double> block(static_cast<size_t>(kBufferSize));
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = std::round(7e6 * std::sin(2 * M_PI * 50.0 * static_cast<double>(i) / 4000.0) +
                              static_cast<double>((i * 7919) % 401) - 200.0);
    const int binWidth = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto r = hist_test(block, binWidth);
        benchmark::DoNotOptimize(r.counts.data());
    }
    state.SetItemsProcessed(state.iterations() * kBufferSize);
}
BENCHMARK(BM_HistogramOfFullBlock)->Arg(256)->Arg(1024)->Unit(benchmark::kMicrosecond);

}  // namespace
