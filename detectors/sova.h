#pragma once
// The soft-output Viterbi detector with Battail's rule: the Viterbi
// detector's add-compare-select over the target's trellis (log metrics, the
// a-priori half ratios on the branches as the a-posteriori detectors have
// them, ties to the even predecessor), and along every survivor the last D
// raw bits with their reliabilities. At each merge, with Delta the metric
// difference of survivor and competitor, a position where their bits differ
// takes min(R, Delta), one where they agree min(R, Delta + R_competitor)
// (both paths updated). A bit leaves the window D steps after it entered,
// from the survivor of the best state then (the lowest on a tie); at the
// frame's end the rest come from state 0 with a tail, and without one from
// the best state after it has merged with each other state in turn. The
// ratio is +-R; with D >= the frame's samples it is max-log-MAP's.
#include <cstdint>
#include <memory>
#include <string>

#include "detectors/soft_trellis.h"
#include "detectors/table.h"

namespace detectors {

// The depth when none is asked for: 5 (nu + 1) bits, the span in which the
// dominant error events of a trellis of memory nu start and end.
int DefaultDepth(int nu);

// The window's width at an update depth (0: DefaultDepth) over `steps`
// samples: the depth, at most the frame's samples.
int SovaWidth(const SoftTrellis& t, int depth, int steps);

// The signed reliabilities l (the posterior ratios +-R) with the clamped
// a-priori ratios la (null: none) into the ratios asked for and their
// decisions, as every version of the detector finishes.
void SovaFinish(int n, bool noiseless, const float* l, const float* la, bool extrinsic, float* llr,
                std::uint8_t* raw);

// One frame (y: n + tail samples); depth 0: DefaultDepth. The oracle of the
// eight-frame version (detectors/sova_simd.h), which the detector runs where
// the processor has AVX2.
void SovaPlain(const SoftTrellis& t, double variance, const float* y, int n, int tail, int depth,
               const float* apriori, bool extrinsic, float* llr, std::uint8_t* raw = nullptr);

std::string SovaWhyNot(const Where& where);
std::unique_ptr<Detector> MakeSovaDetector(const Setup& setup);

} // namespace detectors
