#pragma once
// The channel's options of ber, detect and eye: which channel (the ideal one
// or a head at a density, with jitter and an equalizer), which targets,
// which detectors, the tail. They only fill the engines' chain settings.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "detectors/table.h"
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
// The same on values: `given` names the head's options that were given
// ("--density", "--jitter", "--taps", "--predictor"). The option refused and
// its line, or an empty line.
struct ChannelRefusal {
    std::string option;
    std::string line;
};
ChannelRefusal CheckChannel(const ChannelOptions& options, const std::vector<std::string>& given);
// The eye draws the head's readback: one line when the target is gprL.
std::string CheckEyeTarget(const engine::ChainSettings& chain);

// The values of the channel's options, as the parser takes them.
std::string ParseChannel(const std::string& text, engine::ChannelKind& kind); // ideal|lorentz|erf
std::string ParseDensity(const std::string& text, double& density);
std::string ParseJitter(const std::string& text, double& jitter);
std::string ParseEqualizerTaps(const std::string& text, int& taps);
std::string ParsePredictor(const std::string& text, int& predictor);
// The texts of --target, given once or (with `several`) more often: each one
// target or a list (ParseTargets), at most 16 in all.
std::string ParseTargetTexts(const std::vector<std::string>& texts, bool several,
                             std::vector<TargetChoice>& targets);
// The detectors of --detector: slicer, viterbi, npml or some of them.
std::string ParseDetectors(const std::string& text, std::vector<std::string>& names);
// The target survey's channel (lorentz or erf) and densities (D or FROM:TO:STEP).
std::string ParseSurveyChannel(const std::string& text, engine::ChannelKind& kind);
std::string ParseSurveyDensities(const std::string& text, std::vector<double>& densities);

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
