// The evkit714 Python module: one open board as a context manager, with numpy arrays for
// captures and spectra. Every call goes through the same core functions the command-line
// program and the windows use; the module only checks arguments, releases the interpreter
// while the board works, and turns statuses and messages into Python results, exceptions,
// warnings and log records. Each subject is bound in a file of its own (see module.h).
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
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
#if defined(__GLIBC__)
    // Every result hands Python fresh arrays of up to a few hundred kilobytes. With the
    // allocator's default padding the heap top is given back to the system after each
    // result and faulted in again for the next, which costs more than the analysis of a
    // long block itself; a padding of 16 MiB keeps that memory for the next result.
    mallopt(M_TOP_PAD, 16 << 20);
#endif

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
}
