#pragma once
// The trellis the soft detectors share, and the rules of their arithmetic.
//
// A state is the last `memory` precoder bits (the newest in bit memory - 1);
// branch w = (b << memory) | s is the window of the new bit b and state s,
// leading to state (s >> 1) | (b << (memory - 1)). Each branch has its raw
// bit: the new precoder bit xor the precoder's taps over the state's newest
// nu bits, so the ratios are of the raw bits whatever the precoder. On the
// target's own trellis (memory nu) each branch has the target's level; the
// noise-predictive detector widens the trellis by the predictor's memory.
//
// The arithmetic, shared by every version so that they agree bit for bit:
// - a branch's metric is ln p(y | branch) up to a constant: d = y - level,
//   (d * d) * (-1 / (2 s2)) in float, with the sample first clamped to the
//   levels' range widened by the range on both sides (so that a sample a
//   float can hold but no channel makes keeps every metric finite; a NaN
//   becomes the lowest bound);
// - a-priori ratios are clamped to +-kMaxApriori (a NaN to the lower bound)
//   and enter as +L/2 on the branches of raw bit 0 and -L/2 on those of 1;
// - kImpossible stands for log 0: far below any metric, and finite, so that
//   no difference of two of them is NaN;
// - a noise variance below kMinVariance is no noise: the detectors decide
//   with the metric (d * d) * -1 and give every bit the ratio +-infinity of
//   its decision (a-priori ratios then carry no weight).
#include <cstdint>
#include <vector>

#include "channel/target.h"

namespace detectors {

inline constexpr float kImpossible = -1e30f;
inline constexpr float kMaxApriori = 1e4f;
inline constexpr double kMinVariance = 1e-12;

struct SoftTrellis {
    int nu = 0;     // the target's memory
    int memory = 0; // the state's bits: nu, or nu + the predictor's taps
    int states = 0;
    // Per branch window: its raw bit, and on the target's own trellis its
    // level and the index of that level among the distinct ones.
    std::vector<std::uint8_t> raw;
    std::vector<float> level;
    std::vector<int> levelIndex;
    std::vector<float> levels; // the distinct levels
    float low = 0, high = 0;   // the bounds a sample is clamped to
    // With a tail the frame ends in one of the states 0 ... endStates - 1
    // (those whose newest nu bits are 0).
    int endStates = 1;

    int Next(int s, int b) const { return (s >> 1) | (b << (memory - 1)); }
    int Predecessor(int t, int j) const { return ((t & (states / 2 - 1)) << 1) | j; }
    int Branches() const { return 2 * states; }
};

// The target's trellis widened by `extra` older bits (0: its own).
SoftTrellis MakeSoftTrellis(const channel::Target& target, int extra = 0);

// The factor of the squared distance in a branch metric, -1 / (2 s2) in
// float; -1 when the variance is below kMinVariance.
float MetricFactor(double variance);
bool Noiseless(double variance);

// The clamps of the arithmetic above, written as the vector code writes them.
inline float Clamp(float v, float lo, float hi) {
    const float a = v > lo ? v : lo;
    return a < hi ? a : hi;
}
inline float ClampApriori(float la) {
    return Clamp(la, -kMaxApriori, kMaxApriori);
}

// The ratio a noiseless detector gives for its metric difference e.
inline float Certain(float e) {
    constexpr float kInf = __builtin_huge_valf();
    return e < 0 ? -kInf : kInf;
}

} // namespace detectors
