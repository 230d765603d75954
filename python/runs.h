#pragma once
// The long runs: error rates, the eye, the window's blocks.
#include <pybind11/pybind11.h>

namespace pyquorvane {

namespace py = pybind11;

void AddRuns(py::module_& m);

} // namespace pyquorvane
