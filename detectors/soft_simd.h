#pragma once
// The a-posteriori detectors eight frames at a time, one frame in each lane
// of an AVX2 register. Internal to detectors/.
//
// maxlog: each lane does exactly the plain version's float operations
// (detectors/forward_backward.h), so its ratios are the plain ones bit for
// bit. The forward metrics are kept as computed and normalised when next
// read (the same subtraction, one pass less), and the maxima are taken in
// another order: every value that meets a max is finite and never -0 (a
// metric can be -0, but a sum with a normalised metric is +0 then), so the
// largest of them is the same whatever the order.
//
// bcjr: the same recursions with max* = max + the correction of
// detectors/soft_maxstar.h (within kMaxStarError of the exact one), its
// sums of the extrinsic terms in two banks; so its ratios are near the plain
// ones, not equal (the tests bound the difference).
#include <vector>

#include "detectors/soft_trellis.h"

namespace detectors {

inline constexpr int kSoftLanes = 8;

// How far bcjr's lanes may be from the plain ratios L: |L' - L| <=
// kBcjrLanesBound (1 + |L|) (tested on every test target, tail or none,
// a-priori ratios or none).
inline constexpr float kBcjrLanesBound = 5e-3f;

// Whether this processor runs the lanes (AVX2 and FMA).
bool SoftLanesRun();

// The scratch the lanes keep between calls.
struct SoftLaneScratch {
    std::vector<float> y, la, e, alpha, tops, levels;
};

// The extrinsic ratios e[f] (n each) of count <= 8 frames of n + tail
// samples y[f], with the clamped a-priori ratios la[f] (la null: none);
// exact: bcjr, else maxlog. SoftLanesRun() must hold.
void SoftLanes(const SoftTrellis& t, bool exact, float factor, int count, const float* const* y,
               int n, int tail, const float* const* la, float* const* e, SoftLaneScratch& scratch);

} // namespace detectors
