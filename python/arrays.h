#pragma once
// Conversions between the core's buffers and numpy arrays.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

#include "module_support.h"

namespace evkit::python {

template <class T>
py::array_t<T> toArray(const T* data, std::size_t n) {
    py::array_t<T> a(static_cast<py::ssize_t>(n));
    std::copy(data, data + n, a.mutable_data());
    return a;
}

// Hands a vector to numpy without copying it: the array owns it through a capsule.
template <class T>
py::array_t<T> adoptVector(std::vector<T>&& v) {
    auto* owned = new std::vector<T>(std::move(v));
    py::capsule owner(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(static_cast<py::ssize_t>(owned->size()), owned->data(), owner);
}

// A read-only numpy view of `data`, keeping `keeper` (which owns the memory) alive.
template <class T, class Owner>
py::array_t<T> viewOf(const std::vector<T>& data, const std::shared_ptr<Owner>& keeper) {
    auto* hold = new std::shared_ptr<Owner>(keeper);
    py::capsule owner(hold, [](void* p) { delete static_cast<std::shared_ptr<Owner>*>(p); });
    py::array_t<T> a(static_cast<py::ssize_t>(data.size()), data.data(), owner);
    py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return a;
}

using RealBlock = py::array_t<double, py::array::c_style | py::array::forcecast>;

// A contiguous float64 view of an array-like (no copy when it already is one); refuses
// strings, more than one dimension, an empty array and NaN or infinity (naming the index).
RealBlock realBlock(const py::object& x);

// A number argument as int: Python ints, numpy integers and anything with __index__;
// refuses floats and bools.
long long intArg(const py::handle& value, const char* name);

}  // namespace evkit::python
