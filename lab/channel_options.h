#pragma once
// The channel's options of ber, detect and eye: which channel (the ideal one
// or a head at a density, with jitter and an equalizer), which targets,
// which detectors, the tail. They only fill the engines' chain settings.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "detectors/detector.h"
#include "engine/chain.h"
#include "lab/options.h"

namespace lab {

struct ChannelOptions {
    engine::ChainSettings chain; // the target fields come from `targets`
    std::vector<TargetChoice> targets = {TargetChoice{}};
    std::vector<std::string> detectors; // empty: every one that applies
    CLI::Option* density = nullptr;
    CLI::Option* jitter = nullptr;
    CLI::Option* taps = nullptr;
    CLI::Option* predictor = nullptr;
};

// --channel, --density, --jitter, --taps, --predictor, --target (with
// `severalTargets`, repeatable and a list of names), --detector (with
// `detectors`) and --tail.
void AddChannelOptions(CLI::App& app, ChannelOptions& options, bool severalTargets,
                       bool detectors = true);
// What the parser cannot see by itself: an option the channel does not take,
// gprL without a head, a detector that does not apply to a target. Throws
// CLI::ValidationError.
void CheckChannelOptions(const ChannelOptions& options);

// The chain's settings with target i.
engine::ChainSettings ChainFor(const ChannelOptions& options, std::size_t target);
// The detectors for a channel design: those asked for, or every one that
// applies to its target.
std::vector<detectors::Kind> DetectorsFor(const ChannelOptions& options,
                                          const engine::ChannelDesign& design);
// "lorentz head, density 2, jitter 0.05, 15 taps" or "ideal channel", for
// output headers.
std::string ChannelText(const engine::ChainSettings& chain);

// The model of the recording channel, for the program's --help.
extern const char* const kRecordingModel;

} // namespace lab
