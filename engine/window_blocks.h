#pragma once
// The window's own blocks coming back out, behind `quorvane-lab detect` and
// the lab window: the n-th block is the raw data of the window's n-th press
// after start-up (the same generator, seeded the same way, here with a state
// of its own), sent through the chain with noise from one stream and decided
// by every detector asked for. Blocks longer than the window's take as many
// draws of the same generator, one per bit in order.
//
// Under a constraint code the draws are the block's user bits: as many whole
// code words of them as fit (CodedFrame), the rest unsent, are coded into the
// frame's raw bits and written as `ber --constraint` writes them (on a head at
// the channel density D / R, sigma^2 / R a sample); the detectors search the
// constrained trellis, and their bits decoded back are counted against the
// user bits beside the coded bits' errors.
#include <cstdint>
#include <memory>
#include <vector>

#include "channel/coding.h"
#include "channel/constraint.h"
#include "channel/noise.h"
#include "detectors/table.h"
#include "engine/chain.h"

namespace engine {

struct BlockSettings {
    ChainSettings chain;
    // None named: every one that applies to the target and channel.
    std::vector<detectors::Kind> detectors;
    double sigma = 0.3;
    std::uint64_t seed = 1;    // of the noise; the blocks are always the window's
    int bits = channel::kBits; // per block, at least 1: the user bits under a code
};

// One block after its trip: the frame (its bits, and as many samples plus the
// tail), and each detector's bits and errors in the order of Detectors().
struct BlockResult {
    std::uint64_t run = 0; // 1 for the window's first press
    Frame frame;
    std::vector<std::vector<std::uint8_t>> decided;
    std::vector<int> errors;
    // A soft detector's log-likelihood ratio of every bit; empty for a hard one.
    std::vector<std::vector<float>> llr;
    // Under a constraint code: the user bits coded (frame.raw their words),
    // each detector's bits through the code's decoder and their errors
    // against them; empty without one.
    std::vector<std::uint8_t> user;
    std::vector<std::vector<std::uint8_t>> decoded;
    std::vector<int> userErrors;
};

class WindowBlocks {
  public:
    explicit WindowBlocks(const BlockSettings& settings);
    const BlockSettings& settings() const { return settings_; }
    // The code written (ConstraintCode::Of(kNone) without one).
    const channel::ConstraintCode& Code() const { return code_; }
    // The channel as designed for the current deviation.
    const ChannelDesign& design() const { return *design_; }
    // The detectors that run, in the order of the results.
    const std::vector<detectors::Kind>& Detectors() const { return kinds_; }
    // The next block; valid until the next call.
    const BlockResult& Next();
    // The last block's bits with the next noise of the stream (the same run).
    const BlockResult& Renoise();
    // The last block again at deviation `sigma`, with the very draws it had
    // (its jitter on a head, its noise scaled): how the same block looks with
    // more or less noise. On a head the channel is designed anew for `sigma`,
    // as for a block made there. Later blocks draw on as if the block had been
    // made at `sigma` in the first place.
    const BlockResult& Again(double sigma);

  private:
    // The design, the chain and the detectors for settings_.
    void Design();
    const BlockResult& Transmit();

    BlockSettings settings_;
    std::unique_ptr<ChannelDesign> design_; // the chain keeps a reference to it
    std::vector<detectors::Kind> kinds_;
    const channel::ConstraintCode& code_;
    std::uint32_t random_;            // the window's generator state, after its start-up seeding
    std::vector<std::uint8_t> drawn_; // the last block's draws
    channel::NoiseSource noise_;
    channel::NoiseSource blockNoise_; // as it was before the last block's draws
    std::unique_ptr<Chain> chain_;
    std::vector<std::unique_ptr<detectors::Detector>> detectors_;
    BlockResult result_;
};

} // namespace engine
