// Conversions between the core's buffers and numpy arrays.
#include "arrays.h"

#include <cmath>
#include <string>

#include "errors.h"

namespace evkit::python {

RealBlock realBlock(const py::object& x) {
    if (py::isinstance<py::str>(x) || py::isinstance<py::bytes>(x))
        throw py::type_error("expected an array of numbers, not a string");
    auto a = RealBlock::ensure(x);
    if (!a) throw py::type_error("expected an array of numbers");
    if (a.ndim() != 1) valueError("expected a one-dimensional array");
    if (a.size() == 0) valueError("the array is empty");
    // A NaN or an infinity would spread into every figure without an error.
    const double* p = a.data();
    const auto n = static_cast<std::size_t>(a.size());
    // v * 0 is 0 for every finite v and NaN otherwise: four sums the compiler vectorises,
    // then a search for the index only when one of them is NaN.
    double sums[4] = {0, 0, 0, 0};
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (std::size_t k = 0; k < 4; ++k) sums[k] += p[i + k] * 0.0;
    for (; i < n; ++i) sums[0] += p[i] * 0.0;
    if (sums[0] + sums[1] + sums[2] + sums[3] == 0.0) return a;
    for (i = 0; i < n; ++i)
        if (!std::isfinite(p[i]))
            valueError("the array holds " + std::string(std::isnan(p[i]) ? "NaN" : "an infinity") +
                       " at index " + std::to_string(i) + "; only finite samples can be analysed");
    return a;
}

long long intArg(const py::handle& value, const char* name) {
    if (py::isinstance<py::bool_>(value) || PyFloat_Check(value.ptr()) ||
        !PyIndex_Check(value.ptr()))
        throw py::type_error(std::string(name) + " must be an integer");
    return py::int_(py::reinterpret_borrow<py::object>(value)).cast<long long>();
}

}  // namespace evkit::python
