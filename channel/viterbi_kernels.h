#pragma once
// The pieces the two detectors share, and the forward passes of the fast one
// (one per instruction set, chosen at run time). Internal to channel/.
#include <array>
#include <cstdint>

#include "channel/viterbi.h"

namespace channel::viterbi_detail {

// kIdeal[s][b]: the ideal sample of the branch from state s with new precoder
// bit b, exact in float.
using IdealTable = std::array<std::array<float, 2>, kStates>;
extern const IdealTable kIdeal;

// Subtracts the smallest of the 32 path metrics from each.
void Renormalise(float* pm);

// The state of smallest metric, the lowest on a tie.
int BestState(const float* pm);

// The forward pass over y[0 ... n-1] from state 0: decisions[k] bit t is 1
// when state t at step k came from its odd predecessor; pmOut gets the final
// path metrics. Same float operations, in the same order, in every version.
void ForwardScalar(const float* y, int n, std::uint32_t* decisions, float* pmOut);

// The versions of the forward pass; the fast detector runs the best one this
// processor has. Any of them gives the same decisions and metrics.
enum class Kernel { kScalar, kAvx2, kAvx512 };
bool Runs(Kernel kernel);
Kernel BestKernel();
void ForwardWith(Kernel kernel, const float* y, int n, std::uint32_t* decisions, float* pmOut);

// ForwardWith on two frames of the same length, y0 to d0 and pm0, y1 to d1
// and pm1; the AVX-512 version runs both at once.
void ForwardPairWith(Kernel kernel, const float* y0, const float* y1, int n, std::uint32_t* d0,
                     std::uint32_t* d1, float* pm0, float* pm1);

} // namespace channel::viterbi_detail
