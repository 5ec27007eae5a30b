// The analyses of arrays (time statistics, histogram, spectrum) and reading a capture file,
// as module functions.
#include <pybind11/pybind11.h>

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

void checkWindow(int window) {
    if (window < 0 || window > 4) valueError("window must be 0..4");
}

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

Spectrum spectrumOf(const py::object& x, int window, int range, double fs) {
    checkWindow(window);
    if (!(fs > 0)) valueError("fs must be above 0");
    if (range < 1) valueError("range_ must be 1 or more");
    const auto a = realBlock(x);
    spectrum::FftTestSettings s;
    s.samples = static_cast<int>(a.size());
    s.window = window;
    s.average = 1;
    s.fs = fs;
    s.range = range;
    CollectedMessages messages;
    // One test per thread, kept between calls: its work buffers are allocated once, as in a
    // window that analyses block after block.
    thread_local spectrum::FftTest test;
    {
        py::gil_scoped_release release;
        test.freq_test(s, std::span<const double>(a.data(), static_cast<std::size_t>(a.size())),
                       messages);
    }
    const Shown shown = messages.take();
    if (test.outcome() != spectrum::FftOutcome::kAnalysed || !test.last())
        raiseFftRefused(test, shown);
    emitShown(shown, {});
    return Spectrum(*test.last());
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
    m.def("read_capture", &readCapture, py::arg("path"), "Read a capture file (.dat).");
    m.def("time_stats", &timeStats, py::arg("x"));
    m.def("histogram", &histogram, py::arg("x"), py::arg("bin_width") = 256);
    m.def("spectrum", &spectrumOf, py::arg("x"), py::arg("window") = 4, py::arg("range_") = 8388608,
          py::arg("fs") = 1.0);
    m.def("coherent_frequency", &coherentFrequency, py::arg("fs"), py::arg("n"), py::arg("near"),
          "The coherent test frequency nearest to `near` for n samples at fs: a dict of "
          "cycles, frequency_hz, prime, prime_cycles, prime_frequency_hz.");
}

}  // namespace evkit::python
