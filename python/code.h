#pragma once
// The LDPC codes from Python: Code (a built-in one or an alist file) with its
// encoder, decoders and syndrome.
#include <pybind11/pybind11.h>

namespace pyquorvane {

namespace py = pybind11;

void AddCode(py::module_& m);

} // namespace pyquorvane
