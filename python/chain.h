#pragma once
// The chain on arrays, and the noise level of a call.
#include <pybind11/pybind11.h>

#include "channel/target.h"
#include "engine/chain.h"

namespace pyquorvane {

namespace py = pybind11;

// sigma, or snr in dB against the target's energy (the command line's
// --sigma and --snr, never both), or `fallback` when neither is given.
double NoiseSigma(py::handle sigma, py::handle snr, const channel::Target& target, double fallback);

// The chain's settings from a call's arguments: the one place where Python
// arguments become the fields of engine::ChainSettings (Channel, ber and
// detect take the same ones).
engine::ChainSettings ChainOf(const channel::Target& target, py::handle tail);

void AddChain(py::module_& m);

} // namespace pyquorvane
