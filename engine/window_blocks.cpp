#include "engine/window_blocks.h"

#include "channel/coding.h"
#include "channel/random.h"

namespace engine {

namespace {

// The window's blocks come one at a time, so their noise keeps the serial
// generator (and `detect` its files).
ChainSettings Serial(ChainSettings chain) {
    chain.noise = ChainSettings::Noise::kSerial;
    return chain;
}

} // namespace

WindowBlocks::WindowBlocks(const BlockSettings& settings)
    : settings_(settings),
      // As the window's start-up: state 1, then one draw spent.
      random_(channel::AdvanceRandomState(1)), noise_(settings.seed, 0), blockNoise_(noise_) {
    Design();
    result_.frame = chain_->MakeFrame();
    result_.decided.assign(detectors_.size(),
                           std::vector<std::uint8_t>(static_cast<std::size_t>(settings.bits)));
    result_.errors.assign(detectors_.size(), 0);
    result_.llr.resize(detectors_.size());
    for (std::size_t d = 0; d < kinds_.size(); ++d)
        if (detectors::RowOf(kinds_[d]).soft)
            result_.llr[d].assign(static_cast<std::size_t>(settings.bits), 0.0f);
}

void WindowBlocks::Design() {
    // The old chain and detectors refer to the old design: gone first.
    detectors_.clear();
    chain_.reset();
    design_ =
        std::make_unique<ChannelDesign>(DesignChannel(Serial(settings_.chain), settings_.sigma));
    kinds_ = settings_.detectors.empty() ? detectors::DefaultKinds(WhereOf(*design_))
                                         : settings_.detectors;
    chain_ = std::make_unique<Chain>(*design_, settings_.bits);
    detectors_ = MakeDetectors(kinds_, *chain_);
}

const BlockResult& WindowBlocks::Next() {
    Frame& f = result_.frame;
    for (int k = 0; k < settings_.bits; ++k) {
        // A draw is never negative, so mod 2 is its lowest bit.
        random_ = channel::AdvanceRandomState(random_);
        f.raw[static_cast<std::size_t>(k)] =
            static_cast<std::uint8_t>(channel::RandomValueOf(random_) % 2);
    }
    ++result_.run;
    return Transmit();
}

const BlockResult& WindowBlocks::Renoise() {
    return Transmit();
}

const BlockResult& WindowBlocks::Again(double sigma) {
    settings_.sigma = sigma;
    if (settings_.chain.Recording()) {
        // The equalizer (its delay, so the readback's stretch), npml's
        // predictor and a gprL target all depend on the noise.
        std::vector<std::uint8_t> raw = std::move(result_.frame.raw);
        Design();
        result_.frame = chain_->MakeFrame();
        result_.frame.raw = std::move(raw);
    } else {
        design_->sigma = sigma; // all the ideal channel's design knows of it
        // ... but for the noise a soft detector assumes, made in with it.
        for (detectors::Kind kind : kinds_)
            if (detectors::RowOf(kind).soft) {
                detectors_ = MakeDetectors(kinds_, *chain_);
                break;
            }
    }
    noise_ = blockNoise_;
    return Transmit();
}

const BlockResult& WindowBlocks::Transmit() {
    Frame& f = result_.frame;
    blockNoise_ = noise_;
    chain_->Transmit(noise_, f);
    const float* y[] = {f.received.data()};
    for (std::size_t d = 0; d < detectors_.size(); ++d) {
        std::uint8_t* out[] = {result_.decided[d].data()};
        if (result_.llr[d].empty()) {
            detectors_[d]->Detect(1, y, out);
        } else {
            float* llr[] = {result_.llr[d].data()};
            detectors::SoftFrames soft;
            soft.llr = llr;
            detectors_[d]->DetectSoft(1, y, soft, out);
        }
        int wrong = 0;
        for (int k = 0; k < settings_.bits; ++k)
            wrong += out[0][k] != f.raw[static_cast<std::size_t>(k)];
        result_.errors[d] = wrong;
    }
    return result_;
}

} // namespace engine
