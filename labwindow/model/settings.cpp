#include "labwindow/model/settings.h"

#include <cstdio>

#include "channel/bounds.h"
#include "lab/options.h"

namespace labmodel {

Capabilities EngineCapabilities() {
    // Since issue 18 the engines' ChainSettings hold a head, its density and
    // jitter and the equalizer, and detectors::Kind has npml.
    return {true, true};
}

std::string SetTarget(LabSettings& settings, const std::string& text) {
    // gprL is the command line's too, but its taps are designed at each
    // noise level, and the views here draw one fixed target: say so rather
    // than call the name unknown.
    std::vector<lab::TargetChoice> choices;
    if (lab::ParseTargets(text, false, choices).empty() && choices.size() == 1 &&
        choices.front().gpr > 0)
        return text + " is designed with the equalizer at each noise level, which the window does "
                      "not draw; quorvane-lab ber and targets take it";
    channel::Target target;
    if (std::string error = channel::Target::Parse(text, target); !error.empty()) return error;
    settings.targetText = text;
    settings.target = target;
    return {};
}

namespace {

// The parser's value lands in the settings only when it is taken: the lab's
// parsers store what they read before they check its range.
template <typename T, typename Parse>
std::string Take(T& field, const std::string& text, Parse parse) {
    T value = field;
    std::string error = parse(text, value);
    if (error.empty()) field = value;
    return error;
}

} // namespace

std::string SetDensity(LabSettings& settings, const std::string& text) {
    return Take(settings.density, text, lab::ParseDensity);
}

std::string SetJitter(LabSettings& settings, const std::string& text) {
    return Take(settings.jitter, text, lab::ParseJitter);
}

std::string SetTaps(LabSettings& settings, const std::string& text) {
    return Take(settings.taps, text, lab::ParseEqualizerTaps);
}

std::string SetPredictor(LabSettings& settings, const std::string& text) {
    return Take(settings.predictor, text, lab::ParsePredictor);
}

std::string SweepPoints(const LabSettings& settings, std::vector<double>& dbs) {
    return lab::ParseSnrRange(settings.sweepRange, dbs);
}

double Sigma(const LabSettings& settings) {
    return channel::SigmaOfSnr(engine::SignalEnergy(ChainOf(settings)), settings.snrDb);
}

std::vector<detectors::Kind> DetectorsOf(const LabSettings& settings) {
    using detectors::Kind;
    const bool recording = settings.channel != ChannelKind::kIdeal;
    std::vector<Kind> kinds;
    for (Kind kind : detectors::KindsFor(settings.target, recording)) {
        const bool wanted = kind == Kind::kSlicer    ? settings.slicer
                            : kind == Kind::kViterbi ? settings.viterbi
                                                     : settings.npml;
        if (wanted) kinds.push_back(kind);
    }
    return kinds;
}

engine::ChainSettings ChainOf(const LabSettings& settings) {
    engine::ChainSettings chain;
    chain.target = settings.target;
    chain.tail = true;
    chain.channel = settings.channel;
    chain.density = settings.density;
    chain.jitter = settings.jitter;
    chain.taps = settings.taps;
    chain.predictor = settings.predictor;
    return chain;
}

lab::ChannelOptions ChannelOptionsOf(const LabSettings& settings) {
    lab::ChannelOptions options;
    options.chain = ChainOf(settings);
    options.targets = {lab::TargetChoice{settings.target, 0}};
    for (detectors::Kind kind : DetectorsOf(settings))
        options.detectors.push_back(detectors::KindName(kind));
    return options;
}

std::string ChannelText(const LabSettings& settings) {
    return lab::ChannelText(ChainOf(settings));
}

engine::BlockSettings BlocksOf(const LabSettings& settings) {
    engine::BlockSettings blocks;
    blocks.chain = ChainOf(settings);
    blocks.detectors = DetectorsOf(settings);
    blocks.sigma = Sigma(settings);
    blocks.seed = settings.seed;
    blocks.bits = settings.blockBits;
    return blocks;
}

engine::EyeSettings EyeOf(const LabSettings& settings) {
    engine::EyeSettings eye;
    eye.chain = ChainOf(settings);
    eye.blocks = settings.eyeBlocks;
    eye.sigma = Sigma(settings);
    eye.uis = settings.eyeUis;
    eye.seed = settings.seed;
    eye.threads = settings.threads;
    return eye;
}

engine::BerSettings SweepSettingsOf(const LabSettings& settings) {
    engine::BerSettings ber;
    ber.bits = settings.sweepBits;
    ber.errors = settings.sweepErrors;
    ber.seed = settings.seed;
    ber.threads = settings.threads;
    return ber;
}

engine::BerSetup SweepSetupOf(const LabSettings& settings) {
    engine::BerSetup setup;
    setup.chain = ChainOf(settings);
    setup.detectors = DetectorsOf(settings);
    return setup;
}

std::string NoiseText(const LabSettings& settings) {
    char text[64];
    std::snprintf(text, sizeof text, "SNR %.1f dB, sigma %.3g", settings.snrDb, Sigma(settings));
    return text;
}

} // namespace labmodel
