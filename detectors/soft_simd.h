#pragma once
// The a-posteriori detectors eight frames at a time: each AVX2 lane is one
// frame and does exactly the plain version's float operations in its order
// (detectors/forward_backward.h), so maxlog's ratios are the plain ones bit
// for bit. Internal to detectors/.
#include <vector>

#include "detectors/soft_trellis.h"

namespace detectors {

inline constexpr int kSoftLanes = 8;

// Whether this processor runs the lanes (AVX2).
bool SoftLanesRun();

// The scratch the lanes keep between calls.
struct SoftLaneScratch {
    std::vector<float> y, la, e, alpha, levels;
};

// maxlog's extrinsic ratios e[f] (n each) of count <= 8 frames of n + tail
// samples y[f], with the clamped a-priori ratios la[f] (la null: none).
// SoftLanesRun() must hold.
void MaxlogLanes(const SoftTrellis& t, float factor, int count, const float* const* y, int n,
                 int tail, const float* const* la, float* const* e, SoftLaneScratch& scratch);

} // namespace detectors
