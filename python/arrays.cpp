// Conversions between the core's buffers and numpy arrays.
#include "arrays.h"

#include "errors.h"

namespace evkit::python {

RealBlock realBlock(const py::object& x) {
    if (py::isinstance<py::str>(x) || py::isinstance<py::bytes>(x))
        throw py::type_error("expected an array of numbers, not a string");
    auto a = RealBlock::ensure(x);
    if (!a) throw py::type_error("expected an array of numbers");
    if (a.ndim() != 1) valueError("expected a one-dimensional array");
    if (a.size() == 0) valueError("the array is empty");
    return a;
}

}  // namespace evkit::python
