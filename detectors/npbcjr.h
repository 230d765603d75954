#pragma once
// The noise-predictive a-posteriori detector: bcjr (detectors/
// forward_backward.h) on the target's trellis widened by the predictor's P
// taps, memory nu + P, so that each branch knows the P + 1 ideal samples its
// bits make at steps k - P ... k. Its metric is the whitened error: with
// e_j = y_j - ideal_j along the branch (0 before the frame),
//     r = e_k - (p_0 e_{k-1} + p_1 e_{k-2} + ...),
// summed left to right as npml sums it, and metric (r * r) * (-1 / (2 s_p^2))
// with s_p^2 the predictor's error variance. On a Gauss-Markov noise of
// order P whose innovation has variance s_p^2 this is the exact posterior;
// npml decides by the same metric on the narrow trellis, keeping the noise
// estimates of each survivor in place of the states that would hold them.
// With a tail the frame ends in a state whose newest nu bits are 0.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "detectors/soft_simd.h"
#include "detectors/soft_trellis.h"
#include "detectors/table.h"

namespace detectors {

// The most predictor taps the widened trellis takes.
inline constexpr int kMaxPredictorBits = 4;

// The metrics of a frame over the widened trellis t (MakeSoftTrellis(target,
// P)), as BranchMetrics lays them out.
void WhitenedMetrics(const SoftTrellis& t, const channel::Target& target,
                     const std::vector<float>& predictor, float factor, const float* y, int steps,
                     float* metric);

// The same metrics as the lanes make them (detectors/soft_simd.h): r =
// x_k - c_w, x_k the clamped sample less its prediction, c_w branch w's
// ideal sample less the prediction from its older ideal samples (a table
// for each of the first P steps, whose older terms are before the frame).
LaneMetrics WhitenedLaneMetrics(const SoftTrellis& t, const channel::Target& target,
                                const std::vector<float>& predictor);

void NpbcjrPlain(const SoftTrellis& t, const channel::Target& target,
                 const std::vector<float>& predictor, double variance, const float* y, int n,
                 int tail, const float* apriori, bool extrinsic, float* llr,
                 std::uint8_t* raw = nullptr);

std::string NpbcjrWhyNot(const Where& where);
std::unique_ptr<Detector> MakeNpbcjrDetector(const Setup& setup);

} // namespace detectors
