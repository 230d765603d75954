#include "engine/window_blocks.h"

#include <algorithm>

#include "channel/coding.h"
#include "channel/random.h"
#include "engine/constraint_survey.h"

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
    : settings_(settings), code_(channel::ConstraintCode::Of(settings.chain.constraint)),
      // As the window's start-up: state 1, then one draw spent.
      random_(channel::AdvanceRandomState(1)), noise_(settings.seed, 0), blockNoise_(noise_) {
    Design();
    result_.frame = chain_->MakeFrame();
    const std::size_t coded = static_cast<std::size_t>(chain_->Shape().bits);
    result_.decided.assign(detectors_.size(), std::vector<std::uint8_t>(coded));
    result_.errors.assign(detectors_.size(), 0);
    result_.llr.resize(detectors_.size());
    for (std::size_t d = 0; d < kinds_.size(); ++d)
        if (detectors::RowOf(kinds_[d]).soft) result_.llr[d].assign(coded, 0.0f);
    drawn_.resize(static_cast<std::size_t>(settings.bits));
    if (!code_.IsNone()) {
        const std::size_t user = coded / static_cast<std::size_t>(code_.CodeBits()) *
                                 static_cast<std::size_t>(code_.UserBits());
        result_.user.resize(user);
        result_.decoded.assign(detectors_.size(), std::vector<std::uint8_t>(user));
        result_.userErrors.assign(detectors_.size(), 0);
    }
}

void WindowBlocks::Design() {
    // The old chain and detectors refer to the old design: gone first.
    detectors_.clear();
    chain_.reset();
    // Under a code, the channel that writes it at the user density
    // (ChainSettings::Coded); without one Coded() is the chain itself.
    const ChainSettings& chain = settings_.chain;
    design_ = std::make_unique<ChannelDesign>(
        DesignChannel(Serial(chain.Coded()), chain.CodedSigma(settings_.sigma)));
    kinds_ = settings_.detectors.empty() ? detectors::DefaultKinds(WhereOf(*design_))
                                         : settings_.detectors;
    chain_ = std::make_unique<Chain>(*design_, CodedFrame(settings_.bits, chain.constraint));
    detectors_ = MakeDetectors(kinds_, *chain_);
}

const BlockResult& WindowBlocks::Next() {
    for (std::uint8_t& bit : drawn_) {
        // A draw is never negative, so mod 2 is its lowest bit.
        random_ = channel::AdvanceRandomState(random_);
        bit = static_cast<std::uint8_t>(channel::RandomValueOf(random_) % 2);
    }
    if (code_.IsNone())
        result_.frame.raw = drawn_;
    else
        std::copy(drawn_.begin(), drawn_.begin() + static_cast<std::ptrdiff_t>(result_.user.size()),
                  result_.user.begin());
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
        design_->sigma =
            settings_.chain.CodedSigma(sigma); // all the ideal channel's design knows of it
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
    if (code_.IsNone())
        chain_->Transmit(noise_, f);
    else
        chain_->TransmitCoded(code_, result_.user, noise_, f);
    const int bits = chain_->Shape().bits;
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
        for (int k = 0; k < bits; ++k) wrong += out[0][k] != f.raw[static_cast<std::size_t>(k)];
        result_.errors[d] = wrong;
        if (code_.IsNone()) continue;
        std::vector<std::uint8_t>& decoded = result_.decoded[d];
        code_.Decode(out[0], bits / code_.CodeBits(), decoded.data());
        wrong = 0;
        for (std::size_t k = 0; k < decoded.size(); ++k) wrong += decoded[k] != result_.user[k];
        result_.userErrors[d] = wrong;
    }
    return result_;
}

} // namespace engine
