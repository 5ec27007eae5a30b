#pragma once
// Conversions between the core's buffers and numpy arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>

#include "module_support.h"

namespace evkit::python {

template <class T>
py::array_t<T> toArray(const T* data, std::size_t n) {
    py::array_t<T> a(static_cast<py::ssize_t>(n));
    std::copy(data, data + n, a.mutable_data());
    return a;
}

using RealBlock = py::array_t<double, py::array::c_style | py::array::forcecast>;

// A contiguous float64 view of an array-like (no copy when it already is one).
RealBlock realBlock(const py::object& x);

}  // namespace evkit::python
