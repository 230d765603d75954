#pragma once
// Everything the lab window's controls choose, as plain values, and how they
// become the engines' settings. The window's panel edits one of these; every
// view is computed from it.
#include <cstdint>
#include <string>
#include <vector>

#include "channel/target.h"
#include "detectors/table.h"
#include "engine/chain.h"
#include "engine/error_rate.h"
#include "engine/eye_diagram.h"
#include "engine/window_blocks.h"
#include "lab/channel_options.h"

namespace labmodel {

// The channel in front of the detectors: the engines' own choice (the ideal
// channel, a Lorentzian or an erf head).
using ChannelKind = engine::ChannelKind;
inline const char* ChannelName(ChannelKind kind) {
    return engine::ChannelName(kind);
}

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

struct LabSettings {
    // The channel.
    ChannelKind channel = ChannelKind::kIdeal;
    double density = 2.0; // PW50 / T, for a head
    double jitter = 0;    // transition jitter, bit periods
    int taps = 15;        // equalizer length
    int predictor = 2;    // npml's whitening predictor taps
    std::string targetText = "e3pr4";
    channel::Target target; // parsed from targetText
    // The noise and the blocks.
    double snrDb = 26;
    std::uint64_t seed = 1;
    int blockBits = channel::kBits;
    // Detectors shown, where they apply.
    bool slicer = true;
    bool viterbi = true;
    bool npml = true; // where it applies: on a head
    // The eye.
    std::uint64_t eyeBlocks = 100'000;
    int eyeUis = 2;
    // The error-rate sweep, as the command line writes it.
    std::string sweepRange = "12:30:1";
    std::uint64_t sweepBits = 10'000'000;
    std::uint64_t sweepErrors = 300;
    int threads = 2;
};

// Sets targetText and target from a name or list; an empty string, or the
// parser's line saying what is wrong (the settings are then unchanged).
std::string SetTarget(LabSettings& settings, const std::string& text);
// The head's values from their texts, by the command line's parsers
// (--density, --jitter, --taps, --predictor): an empty string, or the
// parser's line (the settings are then unchanged).
std::string SetDensity(LabSettings& settings, const std::string& text);
std::string SetJitter(LabSettings& settings, const std::string& text);
std::string SetTaps(LabSettings& settings, const std::string& text);
std::string SetPredictor(LabSettings& settings, const std::string& text);
// The sweep's SNR points; an empty string, or the line saying what is wrong.
std::string SweepPoints(const LabSettings& settings, std::vector<double>& dbs);

// of snrDb, against the energy SNR is quoted against (engine::SignalEnergy:
// the target's on the ideal channel, the head's bit energy on a head)
double Sigma(const LabSettings& settings);
// The detectors asked for that apply to the target and channel
// (detectors::WhyNot), in the lab's order: npml on a head only.
std::vector<detectors::Kind> DetectorsOf(const LabSettings& settings);
// The settings as the command line's channel options, for what the lab
// shares with the window (the error-rate CSV, its refusals).
lab::ChannelOptions ChannelOptionsOf(const LabSettings& settings);
// "ideal channel" or "lorentz head, density 2.5, jitter 0, 15 taps".
std::string ChannelText(const LabSettings& settings);

engine::ChainSettings ChainOf(const LabSettings& settings);
engine::BlockSettings BlocksOf(const LabSettings& settings);
engine::EyeSettings EyeOf(const LabSettings& settings);
engine::BerSettings SweepSettingsOf(const LabSettings& settings);
engine::BerSetup SweepSetupOf(const LabSettings& settings);

// "SNR 24.0 dB, sigma 0.335" as the panel shows it beside the slider.
std::string NoiseText(const LabSettings& settings);

} // namespace labmodel
