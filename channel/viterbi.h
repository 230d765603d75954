#pragma once
// Maximum-likelihood detection of a frame over the 32-state trellis of the
// target, then the inverse precoder.
//
// State: the last five precoder bits, the newest in bit 4 and the oldest in
// bit 0. Stepping with precoder bit b drops bit 0: from state s the trellis
// goes to (s >> 1) | (b << 4), so state t has the two predecessors
// 2 (t & 15) (dropped bit 0) and 2 (t & 15) + 1 (dropped bit 1). The ideal
// sample of that branch is the target over b and the five bits of s.
//
// The rules, shared by both detectors so that their decisions are
// bit-identical:
// - Path metrics are floats. The frame starts in state 0 with metric 0, every
//   other state at +infinity.
// - Branch metric (y - ideal)^2, evaluated as d = y - ideal; d * d in float;
//   the candidate is metric(predecessor) + d * d in float.
// - Ties between the two candidates keep the predecessor whose dropped bit
//   is 0: the odd predecessor wins only when strictly smaller (so a NaN never
//   wins either).
// - After every step k with k % 64 == 63 the smallest path metric is
//   subtracted from all 32 (each metric - min in float).
// - The frame ends in the state of smallest metric, the lowest state on a
//   tie; traceback runs over the whole frame (no sliding window), so the
//   decided sequence is the whole frame's maximum-likelihood sequence.
// - Raw bits are the inverse precoder of the decided precoder bits, from the
//   all-zero history.
#include <cstdint>
#include <vector>

namespace channel {

inline constexpr int kStates = 32;

// Steps between two renormalisations of the path metrics (a power of two).
// How far the metrics can grow in between: let B be the largest branch
// metric of the samples. Every state is reached from the best state of five
// steps earlier, and no metric decreases along a path, so right after a
// renormalisation all metrics lie in [0, 5B]; 64 more steps add at most 64B.
// So every metric stays below 69B < 2^7 B, its spacing of floats below
// 2^-16 B, and each addition rounds by at most 2^-17 B: the metrics resolve
// branch metrics to 17 bits below the largest, at any noise level. (Samples
// whose squares overflow make metrics infinite in both detectors alike.)
inline constexpr int kRenormPeriod = 64;

// Plain scalar detector: the test oracle and the benchmark's yardstick.
// Writes n raw bits; n >= 1.
void ViterbiPlain(const float* y, int n, std::uint8_t* raw);

// The fast detector: SIMD add-compare-select over all 32 states at once where
// the processor has it, one 32-bit decision word per step. Decisions are
// bit-identical to ViterbiPlain. Keeps its scratch between calls, so a run of
// frames allocates only when a frame is longer than all before it.
class Viterbi {
  public:
    void Detect(const float* y, int n, std::uint8_t* raw);

    // Detect on two frames of the same length, y0 to raw0 and y1 to raw1:
    // the same bits, faster than one after the other.
    void DetectPair(const float* y0, const float* y1, int n, std::uint8_t* raw0,
                    std::uint8_t* raw1);

  private:
    void Reserve(int n);

    std::vector<std::uint32_t> decisions_, decisions1_;
};

} // namespace channel
