#include "detectors/early_viterbi.h"

#include <algorithm>

namespace detectors {

EarlyViterbi::EarlyViterbi(const channel::Trellis& trellis, int delay)
    : memory_(trellis.memory), states_(trellis.states),
      delay_(std::clamp(delay, 0, kMaxEarlyDelay)) {
    const int windows = states_ * 2;
    level_.resize(static_cast<std::size_t>(windows));
    for (int x = 0; x < windows; ++x) {
        int w = 0; // bit m of x (p_{k-m}) to bit nu - m of the trellis's window
        for (int m = 0; m <= memory_; ++m) w |= ((x >> m) & 1) << (memory_ - m);
        level_[static_cast<std::size_t>(x)] = trellis.level[static_cast<std::size_t>(w)];
    }
    metric_.resize(static_cast<std::size_t>(states_));
    next_.resize(static_cast<std::size_t>(states_));
    history_.resize(static_cast<std::size_t>(states_));
    nextHistory_.resize(static_cast<std::size_t>(states_));
    Reset();
}

void EarlyViterbi::Reset() {
    std::fill(metric_.begin(), metric_.end(), 0.0f);
    // A state's bits are its survivor's newest: bit nu - 1 - i of the state
    // is p_{k-i}.
    for (int s = 0; s < states_; ++s) {
        std::uint64_t h = 0;
        for (int i = 0; i < memory_; ++i)
            h |= static_cast<std::uint64_t>((s >> (memory_ - 1 - i)) & 1) << i;
        history_[static_cast<std::size_t>(s)] = h;
    }
}

float EarlyViterbi::Step(float z) {
    const int half = states_ / 2;
    const std::uint64_t mask = (std::uint64_t{1} << (memory_ + 1)) - 1;
    float best = 0;
    int bestState = 0;
    for (int t = 0; t < states_; ++t) {
        const int b = t >> (memory_ - 1);
        const int p0 = (t & (half - 1)) << 1, p1 = p0 | 1;
        const std::uint64_t h0 = (history_[static_cast<std::size_t>(p0)] << 1) | b;
        const std::uint64_t h1 = (history_[static_cast<std::size_t>(p1)] << 1) | b;
        const float d0 = z - level_[static_cast<std::size_t>(h0 & mask)];
        const float d1 = z - level_[static_cast<std::size_t>(h1 & mask)];
        const float m0 = metric_[static_cast<std::size_t>(p0)] + d0 * d0;
        const float m1 = metric_[static_cast<std::size_t>(p1)] + d1 * d1;
        const bool odd = m1 < m0;
        const float m = odd ? m1 : m0;
        next_[static_cast<std::size_t>(t)] = m;
        nextHistory_[static_cast<std::size_t>(t)] = odd ? h1 : h0;
        if (t == 0 || m < best) best = m, bestState = t;
    }
    if (!(best < 1e30f)) { // absurd samples: start afresh rather than carry NaN
        Reset();
        return level_[0];
    }
    for (int t = 0; t < states_; ++t)
        metric_[static_cast<std::size_t>(t)] = next_[static_cast<std::size_t>(t)] - best;
    history_.swap(nextHistory_);
    return level_[static_cast<std::size_t>(
        (history_[static_cast<std::size_t>(bestState)] >> delay_) & mask)];
}

} // namespace detectors
