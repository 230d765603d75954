#pragma once
// Everything the lab window's controls choose, as plain values, and how they
// become the engines' settings. The window's panel edits one of these; every
// view is computed from it.
#include <cstdint>
#include <string>
#include <vector>

#include "channel/target.h"
#include "detectors/detector.h"
#include "engine/chain.h"
#include "engine/error_rate.h"
#include "engine/eye_diagram.h"
#include "engine/window_blocks.h"

namespace labmodel {

// The channel in front of the detectors. Only the ideal one exists in the
// engines so far; the heads are chosen here already so that the panel and
// the saved settings keep their place.
enum class ChannelKind { kIdeal, kLorentz, kErf };
const char* ChannelName(ChannelKind kind); // "ideal", "lorentz", "erf"

// What the engines can do today. The panel offers the recording channel's
// controls and the noise-predictive detector, disabled, until they can.
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
    std::string targetText = "e3pr4";
    channel::Target target; // parsed from targetText
    // The noise and the blocks.
    double snrDb = 26;
    std::uint64_t seed = 1;
    int blockBits = channel::kBits;
    // Detectors shown, where they apply.
    bool slicer = true;
    bool viterbi = true;
    bool npml = false;
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
// The sweep's SNR points; an empty string, or the line saying what is wrong.
std::string SweepPoints(const LabSettings& settings, std::vector<double>& dbs);

double Sigma(const LabSettings& settings); // of snrDb, against the target's energy
// The detectors asked for that apply to the target, in the lab's order.
std::vector<detectors::Kind> DetectorsOf(const LabSettings& settings);

engine::ChainSettings ChainOf(const LabSettings& settings);
engine::BlockSettings BlocksOf(const LabSettings& settings);
engine::EyeSettings EyeOf(const LabSettings& settings);
engine::BerSettings SweepSettingsOf(const LabSettings& settings);
engine::BerSetup SweepSetupOf(const LabSettings& settings);

// "SNR 24.0 dB, sigma 0.335" as the panel shows it beside the slider.
std::string NoiseText(const LabSettings& settings);

} // namespace labmodel
