#pragma once
// The soft detectors over a constrained trellis (detectors/constrained.h):
// bcjr, maxlog, sova and npbcjr with the branches that would write a run of
// transitions the constraint code never writes left out of the forward and
// backward recursions and of the add-compare-select, as if their probability
// were 0. The state is widened when the rule looks further back than the
// trellis remembers: to the constraint's memory (detectors/constrained.h),
// for npbcjr to the larger of it and nu + P (the predictor's taps), so that
// every sum stays exact. With the NRZI precoder each branch still carries its
// raw (coded) bit, and the ratios are of those bits. Frames start at a code
// word's start (state 0: no transition before); the tail is unconstrained and
// a frame with a tail ends in a state whose newest nu bits are 0. A-priori
// and extrinsic ratios, the clamps and the noiseless rule are those of the
// unconstrained detectors (detectors/soft_trellis.h). Scalar, one frame after
// the other.
#include <cstdint>
#include <memory>
#include <vector>

#include "channel/constraint.h"
#include "detectors/forward_backward.h"
#include "detectors/soft_trellis.h"
#include "detectors/table.h"

namespace detectors {

// The forward-backward recursions of ForwardBackwardPlain over the branches
// mask allows at each of the n data steps (the tail's are free): a left-out
// branch adds nothing to a state's sum nor to a bit's.
void ConstrainedForwardBackward(const SoftTrellis& t, const channel::BranchMask& mask,
                                SoftMode mode, const float* metric, int n, int steps, bool tail,
                                const float* la, float* e);

// The soft-output Viterbi detector of SovaPlain over the allowed branches: a
// left-out competitor does not update the survivor's reliabilities. With a
// tail the rest of the bits come from the best end state after it has merged
// with each other end state; depth 0: DefaultDepth(nu).
void ConstrainedSova(const SoftTrellis& t, const channel::BranchMask& mask, const float* metric,
                     int n, int steps, bool tail, int depth, int nu, const float* la, float* e);

// kind is kBcjr, kMaxlog, kSova or kNpbcjr; setup.constraint has a run rule.
std::unique_ptr<Detector> MakeConstrainedSoftDetector(Kind kind, const Setup& setup);

} // namespace detectors
