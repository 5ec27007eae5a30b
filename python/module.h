#pragma once
// The module's layout: each file binds one subject and has one registration function,
// called in turn from the module's init (module.cpp). A new subject is a new file with a
// registerX(m, board) function, a line in the init and a line in CMakeLists.txt.
#include <pybind11/pybind11.h>

#include <memory>

namespace evkit::python {

namespace py = pybind11;

class Board;
// The Python class of Board, created first so that every subject can add its methods.
using BoardClass = py::class_<Board, std::shared_ptr<Board>>;

void registerErrors(py::module_& m, BoardClass& board);
void registerResults(py::module_& m, BoardClass& board);
void registerAnalyses(py::module_& m, BoardClass& board);
void registerSetup(py::module_& m, BoardClass& board);
void registerTemperature(py::module_& m, BoardClass& board);
void registerMonitor(py::module_& m, BoardClass& board);
void registerCapture(py::module_& m, BoardClass& board);
void registerMeasurements(py::module_& m, BoardClass& board);
void registerBoard(py::module_& m, BoardClass& board);

}  // namespace evkit::python
