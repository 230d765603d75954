#pragma once
// The soft-output Viterbi detector several frames at a time, one frame in
// each lane of a vector register: sixteen in AVX-512, eight in AVX2, the
// kernels of detectors/soft_simd.h. Internal to detectors/.
//
// Each lane does exactly the plain detector's float operations
// (detectors/sova.h), so its ratios are the plain ones bit for bit: the same
// add-compare-select (c1 > c0 ? c1 : c0 is a vector max(c1, c0)), the same
// sequential largest metric subtracted, the same Battail update of every
// slot of every survivor's window (min(R, Delta) where the two paths' bits
// differ, min(R, Delta + R_competitor) where they agree). A window holds
// each position's raw bit and reliability in one float, the bit as the sign
// (the ratio the plain detector gives at the end, +-R), so that one load
// reads both; its slots form a ring indexed by position mod the depth, and
// every slot is updated each step (the one of the newest position is then
// written over), so that no slot range has to be worked out.
#include <vector>

#include "detectors/soft_simd.h"
#include "detectors/soft_trellis.h"

namespace detectors {

// Whether this processor runs a kernel, or any (AVX2 and FMA).
bool SovaLanesRun(LaneKernel kernel);
bool SovaLanesRun();

// The scratch the lanes keep between calls.
struct SovaLaneScratch {
    std::vector<float> y, la, windows;
};

// The posterior ratios l[f] (n each; the a-priori ratio still in them) of
// count <= LaneWidth(kernel) frames of n + tail samples y[f] at the update
// depth width (1 ... n + tail), with the clamped a-priori ratios la[f] (la
// null: none) and the metric factor of detectors/soft_trellis.h.
// SovaLanesRun(kernel) must hold.
void SovaLanes(LaneKernel kernel, const SoftTrellis& t, float factor, int count,
               const float* const* y, int n, int tail, int width, const float* const* la,
               float* const* l, SovaLaneScratch& scratch);

} // namespace detectors
