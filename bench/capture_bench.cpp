// Decoding and splitting a full capture, and the histogram of a full block: both must take a
// tiny fraction of the time the board needs to deliver the samples (35000 sample pairs at
// 4000 per second take 8.75 s; a 70000-sample file block stands for twice that).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "collection/analysis.h"
#include "collection/capture.h"
#include "collection/data_files.h"

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

// Reading a capture file of 65536 codes (the parse part of `analyze F.dat` as a process).
void BM_ReadCaptureFile(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<std::int32_t> codes(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        codes[static_cast<size_t>(i)] =
            static_cast<std::int32_t>(std::lround(7e6 * std::sin(2 * M_PI * 1031.0 * i / n)));
    const std::string path = "/tmp/evkit714_bench_capture.dat";
    if (!write_capture_file(path, "PM7014", 4000.0f, n, 8388608, codes)) {
        state.SkipWithError("cannot write the capture file");
        return;
    }
    for (auto _ : state) {
        auto r = read_capture_file(path);
        benchmark::DoNotOptimize(r);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadCaptureFile)->Arg(65536)->Unit(benchmark::kMillisecond);

}  // namespace
