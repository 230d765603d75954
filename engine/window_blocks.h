#pragma once
// The window's own blocks coming back out, behind `quorvane-lab detect`: the
// n-th block is the raw data of the window's n-th press after start-up (the
// same generator, seeded the same way, here with a state of its own), sent
// through the chain with noise from one stream and decided by every detector
// asked for.
#include <cstdint>
#include <memory>
#include <vector>

#include "channel/noise.h"
#include "detectors/detector.h"
#include "engine/chain.h"

namespace engine {

struct BlockSettings {
    ChainSettings chain;
    // None named: every one that applies to the target and channel.
    std::vector<detectors::Kind> detectors;
    double sigma = 0.3;
    std::uint64_t seed = 1; // of the noise; the blocks are always the window's
};

// One block after its trip: the frame (40 bits, 40 + tail samples), and each
// detector's bits and errors in the order of the settings.
struct BlockResult {
    std::uint64_t run = 0; // 1 for the window's first press
    Frame frame;
    std::vector<std::vector<std::uint8_t>> decided;
    std::vector<int> errors;
};

class WindowBlocks {
  public:
    explicit WindowBlocks(const BlockSettings& settings);
    const BlockSettings& settings() const { return settings_; }
    const ChannelDesign& design() const { return design_; }
    // The detectors that run, in the order of the results.
    const std::vector<detectors::Kind>& Detectors() const { return kinds_; }
    // The next block; valid until the next call.
    const BlockResult& Next();

  private:
    BlockSettings settings_;
    ChannelDesign design_;
    std::vector<detectors::Kind> kinds_;
    std::uint32_t random_; // the window's generator state, after its start-up seeding
    channel::NoiseSource noise_;
    Chain chain_;
    std::vector<std::unique_ptr<detectors::Detector>> detectors_;
    BlockResult result_;
};

} // namespace engine
