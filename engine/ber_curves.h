#pragma once
// The analytic curves beside a sweep's measured points on the ideal channel:
// the slicer's exact bit-error rate and the Viterbi detector's union bound,
// against SNR. On a head neither has a closed form here: the bound comes
// with each measured point (engine::BerPoint::unionBound).
#include <vector>

#include "engine/chain.h"

namespace engine {

struct Curve {
    std::vector<double> db, rate;
};
struct BerCurves {
    Curve slicer, bound;
};

// Both curves at count + 1 SNRs from fromDb to toDb; a rate of 0 is left out
// (a logarithmic axis has no place for it), and so is the slicer's on a
// target without one. Both empty on a head.
BerCurves CurvesOf(const ChainSettings& chain, double fromDb, double toDb, int count = 200);

} // namespace engine
