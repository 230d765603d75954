#pragma once
// The pieces the Viterbi detectors share, and the forward passes of the fast
// ones (one per instruction set, chosen at run time). Internal to detectors/.
#include <cstdint>
#include <vector>

#include "channel/target.h"

namespace detectors::viterbi_detail {

// What the add-compare-select of state t needs from the trellis: the ideal
// sample of the branch from each of its two predecessors, from[j][t] for the
// predecessor that dropped bit j.
struct Branches {
    int memory = 0;
    int states = 0;
    float from[2][channel::kMaxStates] = {};
};
Branches BranchesOf(const channel::Trellis& trellis);

// The forward pass over y[0 ... steps-1] from state 0: decisions[k * stride]
// bit t is 1 when state t at step k came from its odd predecessor; pmOut
// gets the final path metrics. After every step k with k % period == period
// - 1 the smallest metric is subtracted from all (period a power of two; the
// float detector's is kRenormPeriod). Same float operations, in the same
// order, in every version. Word is std::uint64_t for any trellis,
// std::uint32_t up to 32 states.
template <typename Word>
void ForwardScalar(const Branches& b, const float* y, int steps, int period, Word* decisions,
                   int stride, float* pmOut);

// The state of smallest metric, the lowest on a tie.
int BestState(const float* pm, int states);

// The versions of the forward pass for trellises of up to 32 states; the
// fast detectors run the best one this processor has. Any of them gives the
// same decisions and metrics.
inline constexpr int kMaxFastStates = 32;
enum class Kernel { kScalar, kAvx2, kAvx512 };
bool Runs(Kernel kernel);
Kernel BestKernel();

// Frames decided side by side: each frame's steps are independent of the
// others', so the processor overlaps their chains of dependent operations.
inline constexpr int kMaxFrames = 8;

// ForwardScalar on `frames` (1 ... kMaxFrames) frames of the same length at
// once: frame f's samples y[f], its word k at decisions[k * stride + f]
// (stride >= frames), its final metrics at pmOut[f].
void ForwardFramesWith(Kernel kernel, const Branches& b, int frames, const float* const* y,
                       int steps, int period, std::uint32_t* decisions, int stride,
                       float* const* pmOut);
// One frame, the float detector's period.
void ForwardWith(Kernel kernel, const Branches& b, const float* y, int steps,
                 std::uint32_t* decisions, float* pmOut);

} // namespace detectors::viterbi_detail

namespace detectors::viterbi_detail {

// The integer detector's 16-bit passes (detectors/viterbi_int.h): for every
// code c and every lane l of a 32-lane register (working on state l mod S),
// the branch metric from each predecessor, metric[(c * 2 + j) * 32 + l];
// renormalised after every `period` steps. period 0: 16 bits cannot hold
// this target's metrics at this converter's resolution.
struct IntBranches {
    int memory = 0;
    int states = 0;
    int codes = 0;
    int period = 0;
    int largest = 0; // the largest branch metric
    std::vector<std::uint16_t> metric;
};
IntBranches IntBranchesOf(const channel::Trellis& trellis, int lowest, int perLevel, int topCode);

// The 16-bit forward pass over the samples of `frames` frames (1 ... 8),
// each sample as the offset of its code's row, kIntRow * code: frame f's
// word k at decisions[k * stride + f], its final metrics (every state,
// the unreachable ones too) at pmOut[f]. The first min(nu, steps) steps only
// extend the even predecessors (the odd ones are unreachable then, so every
// decision is 0); then after every `period` steps, and at the end, the
// smallest metric is subtracted from all. The scalar version does the same
// in 32-bit words.
inline constexpr int kIntRowShift = 6;
inline constexpr int kIntRow = 1 << kIntRowShift;
void IntForwardFramesWith(Kernel kernel, const IntBranches& b, int frames,
                          const std::uint16_t* const* rows, int steps, std::uint32_t* decisions,
                          int stride, std::uint16_t* const* pmOut);
bool RunsInt(Kernel kernel);
Kernel BestIntKernel();

} // namespace detectors::viterbi_detail
