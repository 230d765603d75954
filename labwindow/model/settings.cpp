#include "labwindow/model/settings.h"

#include <cstdio>

#include "channel/bounds.h"
#include "lab/options.h"

namespace labmodel {

const char* ChannelName(ChannelKind kind) {
    switch (kind) {
    case ChannelKind::kLorentz:
        return "lorentz";
    case ChannelKind::kErf:
        return "erf";
    case ChannelKind::kIdeal:
        break;
    }
    return "ideal";
}

Capabilities EngineCapabilities() {
    // The engines' ChainSettings hold the target and the tail only: no head,
    // density, jitter or equalizer yet, and detectors::Kind has no npml.
    return {};
}

std::string SetTarget(LabSettings& settings, const std::string& text) {
    channel::Target target;
    if (std::string error = channel::Target::Parse(text, target); !error.empty()) return error;
    settings.targetText = text;
    settings.target = target;
    return {};
}

std::string SweepPoints(const LabSettings& settings, std::vector<double>& dbs) {
    return lab::ParseSnrRange(settings.sweepRange, dbs);
}

double Sigma(const LabSettings& settings) {
    return channel::SigmaOfSnr(settings.target.Energy(), settings.snrDb);
}

std::vector<detectors::Kind> DetectorsOf(const LabSettings& settings) {
    std::vector<detectors::Kind> kinds;
    for (detectors::Kind kind : detectors::KindsFor(settings.target)) {
        const bool wanted = kind == detectors::Kind::kSlicer ? settings.slicer : settings.viterbi;
        if (wanted) kinds.push_back(kind);
    }
    return kinds;
}

engine::ChainSettings ChainOf(const LabSettings& settings) {
    // The recording channel's fields (channel, density, jitter, taps) join
    // here once the engines' ChainSettings has them.
    engine::ChainSettings chain;
    chain.target = settings.target;
    chain.tail = true;
    return chain;
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
    eye.target = settings.target;
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
