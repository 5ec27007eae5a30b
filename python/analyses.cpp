// The analyses of arrays (time statistics, histogram, spectrum) and reading a capture file,
// as module functions.
#include <pybind11/pybind11.h>

#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "arrays.h"
#include "collection/capture.h"
#include "errors.h"
#include "module.h"
#include "results.h"
#include "spectrum/coherent.h"

namespace evkit::python {

namespace {

py::dict timeStats(const py::object& x) {
    const auto a = realBlock(x);
    const std::span<const double> block(a.data(), static_cast<std::size_t>(a.size()));
    const auto t = collection::time_test(block);
    const auto h = collection::hist_test(block, 0);  // statistics only: no bins
    py::dict d;
    d["maximum"] = t.maximum;
    d["minimum"] = t.minimum;
    d["mean"] = h.mean;
    d["std_dev"] = h.std_dev;
    d["variance"] = h.variance;
    return d;
}

HistogramResult histogram(const py::object& x, int binWidth) {
    if (binWidth < 1) valueError("bin_width must be 1 or more");
    const auto a = realBlock(x);
    HistogramResult out;
    out.samples = static_cast<int>(a.size());
    {
        py::gil_scoped_release release;
        out.r = collection::hist_test(
            std::span<const double>(a.data(), static_cast<std::size_t>(a.size())), binWidth);
    }
    if (!out.r.binned) valueError(collection::msg::kHistogramTooLarge);
    const std::size_t m = out.r.bins();
    out.counts = toArray(out.r.counts.data(), m);
    out.axis = toArray(out.r.axis.data(), m);
    // Bin i covers [min + i w, min + (i + 1) w) with w = (max + 1 - min) / m: the intervals
    // the counts were made with.
    out.edges = py::array_t<double>(static_cast<py::ssize_t>(m + 1));
    const double w = (out.r.maximum + 1.0 - out.r.minimum) / static_cast<double>(m);
    for (std::size_t i = 0; i <= m; ++i)
        out.edges.mutable_at(static_cast<py::ssize_t>(i)) =
            out.r.minimum + w * static_cast<double>(i);
    return out;
}

}  // namespace

[[noreturn]] void raiseFftRefused(const spectrum::FftTest& test, const Shown& shown) {
    std::string text = joinTexts(shown, {}, false);
    if (text.empty()) {
        switch (test.outcome()) {
            case spectrum::FftOutcome::kTooSmall:
                text = spectrum::kSampleSizeTooSmall;
                break;
            case spectrum::FftOutcome::kNoReference:
                text = spectrum::kNoReferencePower;
                break;
            default:
                text = "The spectrum could not be computed.";
                break;
        }
    }
    throw py::value_error(text);
}

namespace {

// The core's work buffers grow to the largest block analysed on a thread and are kept for
// the next block of that size; beyond the usual sizes they are given back after use.
constexpr int kLargestKept = 65536;

// One analysis of a block in memory. Blocks beyond the usual sizes run on a worker thread of
// their own that owns a copy of the block, so that the calling thread notices Ctrl-C (the
// transform itself cannot be interrupted: an interrupted analysis finishes unseen and its
// memory is given back then).
struct Analysis {
    spectrum::FftTestSettings settings;
    std::vector<double> block;
    spectrum::FftTest test;
    CollectedMessages messages;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

// Hands the free memory of the allocator's arenas back to the system (the worker's arena
// would otherwise keep the work buffers of a huge block).
void giveBackMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void analyseInBackground(const std::shared_ptr<Analysis>& job) {
    std::thread([job] {
        job->test.freq_test(job->settings, job->block, job->messages);
        std::lock_guard lock(job->mutex);
        job->finished = true;
        job->done.notify_all();
    }).detach();
    for (;;) {
        {
            py::gil_scoped_release release;
            std::unique_lock lock(job->mutex);
            if (job->done.wait_for(lock, std::chrono::milliseconds(50),
                                   [&] { return job->finished; }))
                return;
        }
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
}

// `rangeArg`: the full-scale code, as `range` or its older name `range_`.
Spectrum spectrumOf(const py::object& x, const py::object& windowObj, const py::object& rangeObj,
                    double fs, const py::object& rangeAlias, const py::object& out) {
    const int window = windowArg(windowObj);
    if (!(std::isfinite(fs) && fs > 0)) valueError("fs must be a finite number above 0 (Hz)");
    if (!rangeAlias.is_none() && !rangeObj.is_none())
        throw py::type_error("give range or range_, not both");
    const py::object& r = rangeAlias.is_none() ? rangeObj : rangeAlias;
    const long long range = r.is_none() ? 8388608 : intArg(r, "range");
    if (range < 1 || range > 0x7FFFFFFF)
        valueError("range must be 1..2147483647 (full-scale code)");
    Spectrum* reuse = nullptr;
    if (!out.is_none()) {
        if (!py::isinstance<Spectrum>(out)) throw py::type_error("out must be a Spectrum");
        reuse = &out.cast<Spectrum&>();
    }
    const auto a = realBlock(x);
    const auto n = static_cast<std::size_t>(a.size());
    if (n > static_cast<std::size_t>(0x7FFFFFFF)) valueError("the array is too long");
    if (reuse && reuse->d->samples != static_cast<int>(n))
        valueError("out holds a spectrum of " + std::to_string(reuse->d->samples) +
                   " samples, not " + std::to_string(n));
    const double* p = a.data();
    if (std::all_of(p, p + n, [](double v) { return v == 0.0; }))
        PyErr_WarnEx(boardWarningType().ptr(),
                     "the block is all zeros: it has no fundamental, its figures mean nothing", 1);
    spectrum::FftTestSettings s;
    s.samples = static_cast<int>(n);
    s.window = window;
    s.average = 1;
    s.fs = fs;
    s.range = static_cast<int>(range);

    Spectrum result;
    result.d = reuse ? reuse->d : newSpectrumData(s.samples);
    auto finish = [&](const spectrum::FftTest& test, CollectedMessages& messages) {
        const Shown shown = messages.take();
        if (test.outcome() != spectrum::FftOutcome::kAnalysed || !test.last())
            raiseFftRefused(test, shown);
        emitShown(shown, {});
    };
    if (s.samples > kLargestKept) {
        auto job = std::make_shared<Analysis>();
        job->settings = s;
        {
            py::gil_scoped_release release;
            job->block.assign(p, p + n);
        }
        analyseInBackground(job);
        finish(job->test, job->messages);
        py::gil_scoped_release release;
        fillSpectrum(*result.d, *job->test.last());
        // The worker no longer touches the job once it has finished: its memory goes now.
        job->test = spectrum::FftTest{};
        job->block = {};
        job->block.shrink_to_fit();
        giveBackMemory();
        return result;
    }
    CollectedMessages messages;
    // One test per thread, kept between calls: its work buffers are allocated once, as in a
    // window that analyses block after block.
    thread_local spectrum::FftTest test;
    {
        py::gil_scoped_release release;
        test.freq_test(s, std::span<const double>(p, n), messages);
    }
    finish(test, messages);
    {
        py::gil_scoped_release release;
        fillSpectrum(*result.d, *test.last());
    }
    return reuse ? *reuse : result;
}

Capture readCapture(const py::object& path) {
    const std::string p = pathText(path);
    const auto read = collection::read_capture_file(p);
    if (!read.file) {
        const auto m = collection::captureFileErrorMessage(read, p);
        if (read.error == collection::CaptureFileError::kCannotOpen) osError(m.text, true);
        valueError(m.text);
    }
    const auto& f = *read.file;
    Capture c;
    c.channel1 = toArray(f.codes.data(), f.codes.size());
    c.fs = f.fs;
    c.part = f.part;
    c.range = f.range;
    c.samples = f.samples;
    c.source = p;
    return c;
}

py::dict coherentFrequency(double fs, long long n, double near) {
    std::string why;
    const auto c = spectrum::coherentFrequency(fs, n, near, &why);
    if (!c) valueError("no coherent frequency: " + why);
    py::dict d;
    d["cycles"] = c->cycles;
    d["frequency_hz"] = c->frequency;
    d["prime"] = c->prime;
    d["prime_cycles"] = c->primeCycles > 0 ? py::object(py::int_(c->primeCycles)) : py::none();
    d["prime_frequency_hz"] =
        c->primeCycles > 0 ? py::object(py::float_(c->primeFrequency)) : py::none();
    return d;
}

}  // namespace

void registerAnalyses(py::module_& m, BoardClass&) {
    m.def("read_capture", &readCapture, py::arg("path"),
          "Read a capture file (.dat) into a Capture (channel2 is None). Raises "
          "FileNotFoundError/OSError naming the path, ValueError for a malformed file.");
    m.def("time_stats", &timeStats, py::arg("x"),
          "Statistics of a block in codes: dict maximum, minimum, mean, std_dev, variance.\n"
          "Raises ValueError for an empty block or one holding NaN or infinity, TypeError for "
          "a string.");
    m.def("histogram", &histogram, py::arg("x"), py::arg("bin_width") = 256,
          "Code histogram of a block with bins of bin_width codes (1 or more). Raises "
          "ValueError for an empty or non-finite block, or too many bins.");
    m.def("spectrum", &spectrumOf, py::arg("x"), py::arg("window") = 4,
          py::arg("range") = py::none(), py::arg("fs") = 1.0, py::kw_only(),
          py::arg("range_") = py::none(), py::arg("out") = py::none(),
          "Spectrum and figures of merit of one block of codes.\n\n"
          "window: 0..4 or a name ('blackman-harris', '5-term', 'hanning', 'blackman', "
          "'7-term'); range: the full-scale code (default 8388608; range_ is the older name); "
          "fs: the sample rate in Hz; out: a Spectrum of the same length whose storage (and "
          "the arrays taken from it) receive the result.\n"
          "Raises ValueError for an empty block, NaN or infinity in it, a non-finite or "
          "non-positive fs, a block too short for the analysis; warns (BoardWarning) for an "
          "all-zero block. Ctrl-C is noticed during long analyses.");
    m.def("coherent_frequency", &coherentFrequency, py::arg("fs"), py::arg("n"), py::arg("near"),
          "The coherent test frequency nearest to `near` for n samples at fs: a dict of "
          "cycles, frequency_hz, prime, prime_cycles, prime_frequency_hz.");
}

}  // namespace evkit::python
