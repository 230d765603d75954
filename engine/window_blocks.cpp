#include "engine/window_blocks.h"

#include "channel/coding.h"
#include "channel/random.h"

namespace engine {

WindowBlocks::WindowBlocks(const BlockSettings& settings)
    : settings_(settings),
      // As the window's start-up: state 1, then one draw spent.
      random_(channel::AdvanceRandomState(1)), noise_(settings.seed, 0), blockNoise_(noise_),
      chain_(settings.chain, settings.bits), detectors_(MakeDetectors(settings.detectors, chain_)) {
    result_.frame = chain_.MakeFrame();
    result_.decided.assign(detectors_.size(),
                           std::vector<std::uint8_t>(static_cast<std::size_t>(settings.bits)));
    result_.errors.assign(detectors_.size(), 0);
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
    noise_ = blockNoise_;
    return Transmit();
}

const BlockResult& WindowBlocks::Transmit() {
    Frame& f = result_.frame;
    blockNoise_ = noise_;
    chain_.Transmit(noise_, settings_.sigma, f);
    const float* y[] = {f.received.data()};
    for (std::size_t d = 0; d < detectors_.size(); ++d) {
        std::uint8_t* out[] = {result_.decided[d].data()};
        detectors_[d]->Detect(1, y, out);
        int wrong = 0;
        for (int k = 0; k < settings_.bits; ++k)
            wrong += out[0][k] != f.raw[static_cast<std::size_t>(k)];
        result_.errors[d] = wrong;
    }
    return result_;
}

} // namespace engine
