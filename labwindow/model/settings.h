#pragma once
// Everything the lab window's controls choose, as plain values, and how they
// become the engines' settings. The window's panel edits one of these; every
// view is computed from it. The channel's values are the choices' own
// (choices/channel.h): the panel shows a control for every row of the
// channel option table and the detector table, and each is read by the same
// parser as the command line's.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "channel/target.h"
#include "choices/channel.h"
#include "detectors/table.h"
#include "engine/ber_sweep.h"
#include "engine/chain.h"
#include "engine/error_rate.h"
#include "engine/eye_diagram.h"
#include "engine/window_blocks.h"

namespace labmodel {

// What the engines can do. Both are there since the recording channel landed;
// the panel still asks, so that a front end built without them greys the
// controls out instead of offering what cannot run.
struct Capabilities {
    bool recordingChannel = false; // heads, density, jitter, equalizer taps
    bool npml = false;             // the noise-predictive detector
};
Capabilities EngineCapabilities();

// The SNR slider's range and step, in dB.
inline constexpr double kMinSnrDb = 0;
inline constexpr double kMaxSnrDb = 45;
inline constexpr double kSnrStepDb = 0.5;
inline constexpr int kMinBlockBits = channel::kBits;
inline constexpr int kMaxBlockBits = 4096;
inline constexpr std::uint64_t kMaxEyeBlocks = 1'000'000;

// The detectors ticked when nothing is remembered: the table's default ones.
std::vector<detectors::Kind> DefaultTicks();

struct LabSettings {
    // The channel, as the channel options' table chooses it: the head and
    // its values, the target (one: the views draw one), the tail, the
    // converter and the sweep's noise stream.
    choices::ChannelChoice channel;
    std::string targetText = "e3pr4";
    // A target of memory 0 (one coefficient: `1` is binary input on white
    // noise), which coded runs alone take, as `sfr --target 1` does: the
    // Sectors tab runs it, and every other view keeps channel.targets, the
    // last target of memory 1 or more. Set while targetText names one.
    std::optional<channel::Target> codedTarget;
    // The noise and the blocks.
    double snrDb = 26;
    std::uint64_t seed = 1;
    int blockBits = channel::kBits;
    // The detectors ticked, in the table's order: they run where they apply
    // (a tick stays for a channel where one does not).
    std::vector<detectors::Kind> ticked = DefaultTicks();
    // The eye.
    std::uint64_t eyeBlocks = engine::EyeSettings{}.blocks;
    int eyeUis = engine::EyeSettings{}.uis;
    // The error-rate sweep, as the command line writes it.
    std::string sweepRange = "12:30:1";
    std::uint64_t sweepBits = 10'000'000;
    std::uint64_t sweepErrors = 300;
    int threads = 2;

    const channel::Target& Target() const { return channel.targets.front().target; }
    bool Head() const { return channel.chain.Recording(); }
};

// Sets targetText and the target from a name or list (a single coefficient:
// codedTarget); an empty string, or the parser's line saying what is wrong
// (the settings are then unchanged).
std::string SetTarget(LabSettings& settings, const std::string& text);
// What the panel says beside a target of memory 0 (empty for any other).
std::string TargetNote(const LabSettings& settings);
// The settings of coded runs: codedTarget, when there is one, as the target.
LabSettings CodedSettings(const LabSettings& settings);
// A channel option's value from its text, by the option's own parser (the
// row of `name`, a flag or a keyword: "--density", "density"): an empty
// string, or the parser's line (the settings are then unchanged).
std::string SetOption(LabSettings& settings, const std::string& name, const std::string& text);
// The option's value as text, as its parser reads it back.
std::string OptionText(const LabSettings& settings, const std::string& name);
// Ticks or unticks a detector.
void Tick(LabSettings& settings, detectors::Kind kind, bool on);
bool Ticked(const LabSettings& settings, detectors::Kind kind);
// The sweep's SNR points; an empty string, or the line saying what is wrong.
std::string SweepPoints(const LabSettings& settings, std::vector<double>& dbs);

// of snrDb, against the energy SNR is quoted against (engine::SignalEnergy:
// the target's on the ideal channel, the head's bit energy on a head)
double Sigma(const LabSettings& settings);
// Why a detector cannot run with the settings (the detector table's rule,
// on the code's trellis under a constraint code, which the slicer cannot
// decide), or an empty line.
std::string WhyNot(const LabSettings& settings, detectors::Kind kind);
// The detectors ticked that apply to the target and channel, in the table's
// order.
std::vector<detectors::Kind> DetectorsOf(const LabSettings& settings);
// The settings as the choices the command line would have made, with the
// detectors that run: for what the window shares with it (the error-rate CSV,
// its refusals).
choices::ChannelChoice ChoiceOf(const LabSettings& settings);
// "ideal channel" or "lorentz head, density 2.5, jitter 0, 15 taps".
std::string ChannelText(const LabSettings& settings);

engine::ChainSettings ChainOf(const LabSettings& settings);
engine::BlockSettings BlocksOf(const LabSettings& settings);
// The eye at the equalizer's output (on the ideal channel the target's
// waveform, as ever).
engine::EyeSettings EyeOf(const LabSettings& settings);
engine::BerSettings SweepSettingsOf(const LabSettings& settings);
// The sweep over the panel's range (SweepPoints must accept it).
engine::SweepSettings SweepOf(const LabSettings& settings);

// "SNR 24.0 dB, sigma 0.335" as the panel shows it beside the slider.
std::string NoiseText(const LabSettings& settings);

} // namespace labmodel
