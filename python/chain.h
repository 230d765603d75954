#pragma once
// The chain on arrays, the channel a call describes, and its noise level.
#include <pybind11/pybind11.h>

#include <map>
#include <memory>

#include "engine/chain.h"
#include "lab/channel_options.h"
#include "python/target.h"

namespace pyquorvane {

namespace py = pybind11;

// sigma, or snr in dB against `energy` (the command line's --sigma and
// --snr, never both), or `fallback` when neither is given.
double NoiseSigma(py::handle sigma, py::handle snr, double energy, double fallback);

// A call's arguments about the channel, as Python gave them (None: not
// given): the command line's --target, --tail, --channel, --density,
// --jitter, --taps, --predictor and --detector.
struct ChainArgs {
    py::handle target;
    py::handle tail;
    py::handle channel;
    py::handle density;
    py::handle jitter;
    py::handle taps;
    py::handle predictor;
    py::handle detectors;
};

// The one place where Python arguments become the chain's settings: the
// lab's channel options, each value read by the lab's own parser and the
// whole checked as the command line checks it, so that a refusal is the
// command line's line. With `several`, target may name several targets
// (ber). lab::ChainFor(options, t) gives target t's engine::ChainSettings.
lab::ChannelOptions ChainOf(const ChainArgs& args, bool several);

// A Channel object: a chain's settings and the channel designed from them
// for one noise level (on a head: the equalizer, a gprL target, npml's
// predictor).
class ChannelBox {
  public:
    ChannelBox(lab::ChannelOptions options, double sigma);
    const lab::ChannelOptions& options() const { return options_; }
    const engine::ChainSettings& settings() const { return design_->settings; }
    const engine::ChannelDesign& design() const { return *design_; }
    // The designed target (on the ideal channel, the one given).
    const TargetRef& target() const { return target_; }
    // A detector of this channel's frames, made on first use with the GIL
    // held, then kept: npml with the channel's predictor, the others the
    // target's.
    FrameDetector& DetectorFor(detectors::Kind kind, bool tail);

  private:
    lab::ChannelOptions options_;
    std::shared_ptr<const engine::ChannelDesign> design_;
    TargetRef target_;
    std::map<bool, std::unique_ptr<FrameDetector>> npml_; // by tail
};
using ChannelRef = std::shared_ptr<ChannelBox>;

void AddChain(py::module_& m);

} // namespace pyquorvane
