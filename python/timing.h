#pragma once
// The timing loop's phase track of a frame.
#include <pybind11/pybind11.h>

namespace pyquorvane {

namespace py = pybind11;

void AddTiming(py::module_& m);

} // namespace pyquorvane
