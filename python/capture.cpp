// Captures and averaged spectra from the board.
#include <pybind11/functional.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

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

Capture capture(Board& b, const py::object& pairObj, const py::object& samplesObj,
                const py::object& dataDelayObj, const py::object& secondsDelayObj) {
    const int pair = static_cast<int>(intArg(pairObj, "pair"));
    const int samples = static_cast<int>(intArg(samplesObj, "samples"));
    const long long dataDelay = intArg(dataDelayObj, "data_delay");
    const long long secondsDelay = intArg(secondsDelayObj, "seconds_delay");
    checkPairSamples(pair, samples);
    if (dataDelay < 0 || dataDelay > 255) valueError("data_delay must be 0..255");
    if (secondsDelay < 0 || secondsDelay > 86400) valueError("seconds_delay must be 0..86400");
    b.ensureOpen();
    DataCollection& data = *b.data_;
    Capture c;
    std::vector<std::int32_t> one, two;
    std::string label1, label2;
    // The settings, the capture and the copy of its buffers all happen under the board's
    // lock: another thread's call may change the settings and the buffers right after.
    b.call([&] {
        data.settings.selectPair(pair - 1);
        data.settings.setSampleIndex(*collection::indexForSampleCount(samples));
        data.settings.data_delay = static_cast<int>(dataDelay);
        data.settings.seconds_delay = static_cast<int>(secondsDelay);
        data.settings.test = collection::kTestTime;
        const int status = data.collectSequence([&] { return data.captureBlock(); });
        const auto n = static_cast<std::size_t>(data.settings.samples);
        one.assign(data.buffers.channel1_data.begin(), data.buffers.channel1_data.begin() + n);
        two.assign(data.buffers.channel2_data.begin(), data.buffers.channel2_data.begin() + n);
        label1 = data.buttonlabel1;
        label2 = data.buttonlabel2;
        c.fs = b.session_->fs;
        c.part = b.session_->part;
        c.range = b.session_->range;
        c.samples = data.settings.samples;
        b.fsRead_ = true;
        return status;
    });
    c.channel1 = adoptVector(std::move(one));
    c.channel2 = adoptVector(std::move(two));
    c.names = py::make_tuple(label1, label2);
    c.pair = pair;
    c.source = "board";
    return c;
}

Spectrum fft(Board& b, const py::object& pairObj, const py::object& samplesObj,
             const py::object& averageObj, const py::object& windowObj, const py::object& onBlock) {
    const int pair = static_cast<int>(intArg(pairObj, "pair"));
    const int samples = static_cast<int>(intArg(samplesObj, "samples"));
    const long long average = intArg(averageObj, "average");
    checkPairSamples(pair, samples);
    if (average < 1 || average > 10000) valueError("average must be 1..10000");
    const int window = windowArg(windowObj);
    if (!onBlock.is_none() && !PyCallable_Check(onBlock.ptr()))
        throw py::type_error("on_block must be callable");
    b.ensureOpen();
    DataCollection& data = *b.data_;
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
    std::string part;
    b.call([&] {
        data.settings.selectPair(pair - 1);
        data.settings.setSampleIndex(*collection::indexForSampleCount(samples));
        data.settings.test = collection::kTestFft;
        data.settings.window = window;
        data.settings.average = static_cast<int>(average);
        b.fsRead_ = true;
        const int status = spectrum::collectAveragedFft(data, test, b.messages_, observer, hooks);
        part = b.session_->part;  // known once the collection has read the device
        return status;
    });
    if (test.outcome() != spectrum::FftOutcome::kAnalysed || !test.last())
        raiseFftRefused(test, {});
    Spectrum s;
    s.d = newSpectrumData(test.last()->samples);
    fillSpectrum(*s.d, *test.last());
    s.d->part = part;
    return s;
}

}  // namespace

void registerCapture(py::module_&, BoardClass& board) {
    board
        .def("capture", &capture, py::arg("pair"), py::arg("samples"), py::arg("data_delay") = 1,
             py::arg("seconds_delay") = 0,
             "Capture both channels of a quantity pair (1..4) as a Capture.\n\n"
             "samples: one of SAMPLE_COUNTS; data_delay: 0..255; seconds_delay: 0..86400 s "
             "waited before the capture. Raises ValueError for a bad argument (nothing is "
             "sent), BoardError when the board fails; Ctrl-C or board.stop() ends it.")
        .def("fft", &fft, py::arg("pair"), py::arg("samples"), py::arg("average") = 1,
             py::arg("window") = 4, py::arg("on_block") = py::none(),
             "Capture `average` blocks (1..10000) of a pair and average their spectra.\n\n"
             "window: 0..4 or its name; on_block(block, blocks) is called after each block. "
             "Ctrl-C, board.stop() or an exception of on_block ends the averaging between "
             "blocks (the exception is raised then). Raises ValueError, BoardError.");
}

}  // namespace evkit::python
