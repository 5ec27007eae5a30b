// The evkit714 Python module: one open board as a context manager, with numpy arrays for
// captures and spectra. Every call goes through the same core functions the command-line
// program and the windows use; the module only checks arguments, releases the interpreter
// while the board works, and turns statuses and messages into Python results, exceptions,
// warnings and log records. Each subject is bound in a file of its own (see module.h).
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <pybind11/numpy.h>
#include <vector>

#include "board.h"
#include "collection/capture.h"
#include "conversion/monitor.h"
#include "module.h"
#include "sim/variants.h"

using namespace evkit::python;

PYBIND11_MODULE(evkit714, m) {
    m.doc() = "Scripting the EVKIT714 evaluation board (or its virtual board) from Python.";
    m.attr("__version__") = EVKIT_VERSION;
    // numpy's C interface is set up here, while importing, and not on the first array a
    // call makes: two threads making their first arrays at once would otherwise deadlock
    // (one sets it up holding the interpreter, the other holds the interpreter waiting).
    py::module_::import("numpy");
    py::detail::npy_api::get();

    BoardClass board(m, "Board", "One open board (a context manager).");
    registerErrors(m, board);
    py::list variants;
    for (const auto& v : evkit::sim::variants()) variants.append(v.name);
    m.attr("VARIANTS") = variants;
    m.attr("SAMPLE_COUNTS") = py::cast(std::vector<int>(evkit::collection::kSampleCounts.begin(),
                                                        evkit::collection::kSampleCounts.end()));
    py::list quantities;
    for (const auto& q : evkit::conversion::quantityTable()) quantities.append(q.name);
    m.attr("QUANTITIES") = quantities;
    m.attr("FULL_SCALE") = 8388608;

    registerResults(m, board);
    registerAnalyses(m, board);
    registerSetup(m, board);
    registerTemperature(m, board);
    registerMonitor(m, board);
    registerCapture(m, board);
    registerMeasurements(m, board);
    registerBoard(m, board);
    registerBoards(m, board);
    registerMetrology(m, board);
    addTextSignatures(m);
}
