// import quorvane: the lab's engines from Python, over NumPy arrays.
#include <pybind11/pybind11.h>

#include "detectors/table.h"
#include "python/chain.h"
#include "python/code.h"
#include "python/runs.h"
#include "python/target.h"
#include "python/timing.h"

namespace py = pybind11;

PYBIND11_MODULE(quorvane, m) {
    m.doc() = R"(The Quorvane lab's engines on NumPy arrays: partial-response targets, their
precoders, error events and bounds; the channel, noise and detectors on frames;
error-rate sweeps, eye diagrams and the window's blocks. The same engines, seeds
and refusals as quorvane-lab: for the same seed the same counts and samples.)";
    m.attr("__version__") = QUORVANE_VERSION;
    py::list kinds;
    for (const detectors::Row& row : detectors::Table()) kinds.append(row.name);
    m.attr("DETECTORS") = py::tuple(kinds);
    pyquorvane::AddTarget(m);
    pyquorvane::AddChain(m);
    pyquorvane::AddRuns(m);
    pyquorvane::AddCode(m);
    pyquorvane::AddTiming(m);
}
