#pragma once
// The Viterbi and npml detectors over a constrained trellis: the branches
// whose precoder bits would write a run of transitions the constraint code
// never writes (channel/constraint.h, under the NRZI precoder) are gone. When
// the rule looks further back than the target's memory the state is widened
// (the target gains zero coefficients). The rules are the plain detectors'
// (detectors/viterbi.h, detectors/npml.h): float metrics, ties to the even
// predecessor, renormalisation every kRenormPeriod steps; a frame with a tail
// ends in the best state whose newest nu bits are 0 (state 0 without
// widening). Frames start at a code word's start; the tail is unconstrained.
// Scalar: one state after the other.
#include <memory>

#include "channel/constraint.h"
#include "detectors/table.h"

namespace detectors {

// The target with zero coefficients up to `memory` (at least its own), under
// the NRZI precoder: the same levels on a wider state.
channel::Target Widened(const channel::Target& target, int memory);

// kind is kViterbi or kNpml (which takes setup.predictor).
std::unique_ptr<Detector> MakeConstrainedDetector(Kind kind, const Setup& setup);

} // namespace detectors
