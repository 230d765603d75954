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
    : settings_(settings), design_(DesignChannel(Serial(settings.chain), settings.sigma)),
      kinds_(settings.detectors.empty()
                 ? detectors::KindsFor(design_.target, settings.chain.Recording())
                 : settings.detectors),
      // As the window's start-up: state 1, then one draw spent.
      random_(channel::AdvanceRandomState(1)), noise_(settings.seed, 0),
      chain_(design_, channel::kBits), detectors_(MakeDetectors(kinds_, chain_)) {
    result_.frame = chain_.MakeFrame();
    result_.decided.assign(detectors_.size(), std::vector<std::uint8_t>(channel::kBits));
    result_.errors.assign(detectors_.size(), 0);
}

const BlockResult& WindowBlocks::Next() {
    Frame& f = result_.frame;
    for (int k = 0; k < channel::kBits; ++k) {
        // A draw is never negative, so mod 2 is its lowest bit.
        random_ = channel::AdvanceRandomState(random_);
        f.raw[static_cast<std::size_t>(k)] =
            static_cast<std::uint8_t>(channel::RandomValueOf(random_) % 2);
    }
    chain_.Transmit(noise_, f);
    const float* y[] = {f.received.data()};
    for (std::size_t d = 0; d < detectors_.size(); ++d) {
        std::uint8_t* out[] = {result_.decided[d].data()};
        detectors_[d]->Detect(1, y, out);
        int wrong = 0;
        for (int k = 0; k < channel::kBits; ++k)
            wrong += out[0][k] != f.raw[static_cast<std::size_t>(k)];
        result_.errors[d] = wrong;
    }
    ++result_.run;
    return result_;
}

} // namespace engine
