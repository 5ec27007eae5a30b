// Captures and averaged spectra from the board.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>

#include "arrays.h"
#include "board.h"
#include "collection/capture.h"
#include "results.h"
#include "spectrum/fft_collection.h"
#include "spectrum/freq_test.h"

namespace evkit::python {

namespace {

void checkPairSamples(int pair, int samples) {
    if (pair < 1 || pair > 4) valueError("pair must be 1..4");
    if (!collection::indexForSampleCount(samples))
        valueError("samples must be one of " + collection::sampleCountList());
}

Capture capture(Board& b, int pair, int samples, int dataDelay, int secondsDelay) {
    checkPairSamples(pair, samples);
    if (dataDelay < 0 || dataDelay > 255) valueError("data_delay must be 0..255");
    if (secondsDelay < 0 || secondsDelay > 86400) valueError("seconds_delay must be 0..86400");
    b.ensureOpen();
    DataCollection& data = *b.data_;
    data.settings.selectPair(pair - 1);
    data.settings.setSampleIndex(*collection::indexForSampleCount(samples));
    data.settings.data_delay = dataDelay;
    data.settings.seconds_delay = secondsDelay;
    data.settings.test = collection::kTestTime;
    b.call([&] { return data.collectSequence([&] { return data.captureBlock(); }); });
    Capture c;
    const auto n = static_cast<std::size_t>(data.settings.samples);
    c.channel1 = toArray(data.buffers.channel1_data.data(), n);
    c.channel2 = toArray(data.buffers.channel2_data.data(), n);
    c.fs = b.session_->fs;
    c.names = py::make_tuple(data.buttonlabel1, data.buttonlabel2);
    c.part = b.session_->part;
    c.range = b.session_->range;
    c.samples = data.settings.samples;
    c.source = "board";
    return c;
}

Spectrum fft(Board& b, int pair, int samples, int average, int window, const py::object& onBlock) {
    checkPairSamples(pair, samples);
    if (average < 1 || average > 10000) valueError("average must be 1..10000");
    checkWindow(window);
    if (!onBlock.is_none() && !PyCallable_Check(onBlock.ptr()))
        throw py::type_error("on_block must be callable");
    b.ensureOpen();
    DataCollection& data = *b.data_;
    data.settings.selectPair(pair - 1);
    data.settings.setSampleIndex(*collection::indexForSampleCount(samples));
    data.settings.test = collection::kTestFft;
    data.settings.window = window;
    data.settings.average = average;
    spectrum::FftTest test;
    spectrum::FftObserver observer;
    if (!onBlock.is_none())
        observer.spectrum = [&](const spectrum::SpectrumResult& r) {
            py::gil_scoped_acquire gil;
            try {
                onBlock(r.block, r.blocks);
            } catch (py::error_already_set& e) {
                e.restore();
                b.pump_.keepPending();
            }
        };
    spectrum::FftCollectionHooks hooks;
    // A stop between blocks (Ctrl-C, a callback that raised) ends the averaging the way
    // the window's stop button does.
    hooks.stopRequested = [&b] { return b.pump_.cancelRequested(); };
    b.call([&] { return spectrum::collectAveragedFft(data, test, b.messages_, observer, hooks); });
    if (test.outcome() != spectrum::FftOutcome::kAnalysed || !test.last())
        raiseFftRefused(test, {});
    return Spectrum(*test.last());
}

}  // namespace

void registerCapture(py::module_&, BoardClass& board) {
    board
        .def("capture", &capture, py::arg("pair"), py::arg("samples"), py::arg("data_delay") = 1,
             py::arg("seconds_delay") = 0)
        .def("fft", &fft, py::arg("pair"), py::arg("samples"), py::arg("average") = 1,
             py::arg("window") = 4, py::arg("on_block") = py::none());
}

}  // namespace evkit::python
