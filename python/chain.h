#pragma once
// The chain on arrays, the channel a call describes, and its noise level.
#include <pybind11/pybind11.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "channel/adc.h"
#include "choices/channel.h"
#include "engine/chain.h"
#include "python/target.h"

namespace pyquorvane {

namespace py = pybind11;

// A call's arguments by name: its positional ones named in order, its
// keywords, each checked to be one the function takes (a TypeError as
// Python's own otherwise). None counts as not given.
class Arguments {
  public:
    Arguments(const char* function, const py::args& args, const py::kwargs& kwargs,
              const std::vector<std::string>& positional, const std::vector<std::string>& takes);
    // The argument, or None.
    py::object Get(const std::string& name) const;
    bool Given(const std::string& name) const { return !Get(name).is_none(); }

  private:
    std::map<std::string, py::object> values_;
};

// The keywords of the channel option table's rows that `command` (a
// choices::Command bit) takes, in the table's order.
std::vector<std::string> ChannelKeywords(unsigned command);
// The run's own keywords and the channel's, for an Arguments.
std::vector<std::string> Keywords(std::vector<std::string> own, unsigned command);

// Their lines for a docstring: "  density: a head's user density ...".
std::string KeywordsDoc(unsigned command);

// sigma, or snr in dB against `energy` (the command line's --sigma and
// --snr, never both), or `fallback` when neither is given.
double NoiseSigma(py::handle sigma, py::handle snr, double energy, double fallback);

// The one place where Python arguments become the chain's choices: every row
// of the channel option table that `command` takes, its value read by its
// own check or parser, and the whole checked as the command line checks it,
// so that a refusal is the command line's line under the argument's keyword.
// With `several`, target may name several targets (ber).
choices::ChannelChoice ChoiceOf(const Arguments& args, unsigned command, bool several);

// A Channel object: a chain's settings and the channel designed from them
// for one noise level (on a head: the equalizer, a gprL target, npml's
// predictor).
class ChannelBox {
  public:
    ChannelBox(choices::ChannelChoice choice, double sigma);
    const choices::ChannelChoice& choice() const { return choice_; }
    const engine::ChainSettings& settings() const { return design_->settings; }
    const engine::ChannelDesign& design() const { return *design_; }
    // The designed target (on the ideal channel, the one given).
    const TargetRef& target() const { return target_; }
    // What a detector of this channel's frames is made with (the shape set
    // by the caller).
    detectors::Setup SetupFor(bool tail) const;
    // A detector of this channel's frames, made on first use with the GIL
    // held, then kept: npml with the channel's predictor, the others the
    // target's.
    FrameDetector& DetectorFor(detectors::Kind kind, bool tail);

  private:
    choices::ChannelChoice choice_;
    std::shared_ptr<const engine::ChannelDesign> design_;
    TargetRef target_;
    std::unique_ptr<const channel::Adc> adc_; // the converter the detectors take codes from
    std::map<std::pair<detectors::Kind, bool>, std::unique_ptr<FrameDetector>> detectors_;
};
using ChannelRef = std::shared_ptr<ChannelBox>;

void AddChain(py::module_& m);

} // namespace pyquorvane
