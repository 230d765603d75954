#pragma once
// Maximum-likelihood detection of a frame over the trellis of its target
// (channel/target.h), then the inverse precoder.
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
//   subtracted from all (each metric - min in float).
// - A frame of n bits with a tail (the nu zero precoder bits the channel
//   writes after it, tail = nu) has n + nu samples and ends in state 0;
//   without one (tail = 0) it ends in the state of smallest metric, the lowest
//   state on a tie. Traceback runs over the whole frame (no sliding window),
//   so the decided sequence is the whole frame's maximum-likelihood sequence.
// - Raw bits are the inverse precoder of the decided precoder bits, from the
//   all-zero history.
#include <cstdint>
#include <vector>

#include "channel/target.h"
#include "detectors/table.h"

namespace detectors {

namespace viterbi_detail {
enum class Kernel; // detectors/viterbi_kernels.h
}

// Steps between two renormalisations of the path metrics (a power of two).
// How far the metrics can grow in between: let B be the largest branch
// metric of the samples. Every state is reached from the best state of nu
// steps earlier, and no metric decreases along a path, so right after a
// renormalisation all metrics lie in [0, nu B]; 64 more steps add at most
// 64B. So every metric stays below 70B < 2^7 B, its spacing of floats below
// 2^-16 B, and each addition rounds by at most 2^-17 B: the metrics resolve
// branch metrics to 17 bits below the largest, at any noise level. (Samples
// whose squares overflow make metrics infinite in both detectors alike.)
inline constexpr int kRenormPeriod = 64;

// Plain scalar detector: the test oracle and the benchmark's yardstick.
// y holds n + tail samples (tail 0 or the target's memory); writes n raw
// bits; n >= 1.
void ViterbiPlain(const channel::Target& target, const float* y, int n, int tail,
                  std::uint8_t* raw);

// The fast detector: SIMD add-compare-select over all states at once where
// the processor has it (targets of memory up to 5), one decision word per
// step. Decisions are bit-identical to ViterbiPlain. Keeps its scratch
// between calls, so a run of frames allocates only when a frame is longer
// than all before it.
class Viterbi {
  public:
    explicit Viterbi(const channel::Target& target);
    // The same with the passes of `kernel`, which this processor must run
    // (for the tests: every kernel gives the same bits).
    Viterbi(const channel::Target& target, viterbi_detail::Kernel kernel);
    ~Viterbi();
    Viterbi(const Viterbi&) = delete;
    Viterbi& operator=(const Viterbi&) = delete;

    void Detect(const float* y, int n, int tail, std::uint8_t* raw);

    // Detect on two frames of the same length, y0 to raw0 and y1 to raw1:
    // the same bits, faster than one after the other.
    void DetectPair(const float* y0, const float* y1, int n, int tail, std::uint8_t* raw0,
                    std::uint8_t* raw1);

    // Detect on `count` frames of the same length, y[f] to raw[f]: up to
    // eight at a time side by side in the forward pass, and their survivor
    // paths traced together. The same bits as Detect on each.
    void DetectFrames(int count, const float* const* y, int n, int tail, std::uint8_t* const* raw);

  private:
    struct Impl;
    Impl* impl_;
};

// The Viterbi detector's row of the detector table: it runs on every target;
// behind a converter it is the integer detector (detectors/viterbi_int.h).
std::string ViterbiWhyNot(const Where& where);
std::unique_ptr<Detector> MakeViterbiDetector(const Setup& setup);

} // namespace detectors
