#pragma once
// The pieces the two Viterbi detectors share, and the forward passes of the
// fast one (one per instruction set, chosen at run time). Internal to
// detectors/.
#include <cstdint>

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

// The forward pass over y[0 ... steps-1] from state 0: decisions[k] bit t is
// 1 when state t at step k came from its odd predecessor; pmOut gets the
// final path metrics. Same float operations, in the same order, in every
// version. Word is std::uint64_t for any trellis, std::uint32_t up to 32
// states.
template <typename Word>
void ForwardScalar(const Branches& b, const float* y, int steps, Word* decisions, float* pmOut);

// The state of smallest metric, the lowest on a tie.
int BestState(const float* pm, int states);

// The versions of the forward pass for trellises of up to 32 states; the
// fast detector runs the best one this processor has. Any of them gives the
// same decisions and metrics.
inline constexpr int kMaxFastStates = 32;
enum class Kernel { kScalar, kAvx2, kAvx512 };
bool Runs(Kernel kernel);
Kernel BestKernel();
void ForwardWith(Kernel kernel, const Branches& b, const float* y, int steps,
                 std::uint32_t* decisions, float* pmOut);

// ForwardWith on two frames of the same length, y0 to d0 and pm0, y1 to d1
// and pm1; the AVX-512 versions run both at once.
void ForwardPairWith(Kernel kernel, const Branches& b, const float* y0, const float* y1, int steps,
                     std::uint32_t* d0, std::uint32_t* d1, float* pm0, float* pm1);

} // namespace detectors::viterbi_detail
