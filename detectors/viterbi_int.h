#pragma once
// Maximum-likelihood detection of quantized samples in integers: the samples
// through the converter (channel/adc.h) to codes, the trellis of the target
// with every level on a code, whole-number metrics.
//
// The rules, shared by both detectors so that their decisions are
// bit-identical:
// - A sample is its code c (channel::Adc::Code); a branch of level l sits at
//   code m (l - lo). The branch metric is the squared distance in codes,
//   (c - m (l - lo))^2, a whole number: m^2 times the squared distance of
//   the converter's value lo + c/m from the level. A path's metric is their
//   sum, exact in integers, so the detected sequence is exactly the
//   maximum-likelihood sequence of the quantized samples under white
//   Gaussian noise.
// - The frame starts in state 0, every other state unreachable. Ties between
//   the two candidates keep the predecessor whose dropped bit is 0 (two
//   unreachable ones tie too). Without a tail the frame ends in the
//   reachable state of smallest metric, the lowest on a tie; with one, in
//   state 0. Then the inverse precoder, as in detectors/viterbi.h.
//
// The fast detector may add any whole number common to all candidates of a
// step, or to all states, and may scale every metric by a positive whole
// number: none of that moves a comparison or a tie. It uses
//     (c - m x)^2 = m (m x^2 - 2 c x) + c^2,   x = l - lo,
// drops c^2, divides by m and subtracts the smallest value of the step, so
// that its branch metrics are m x^2 - 2 c x - min over the levels, at most
// m R^2; with 16-bit path metrics, renormalised often enough that none
// exceeds 65535, wherever that is possible, and otherwise float metrics that
// stay below 2^24, where every sum of whole numbers is exact.
#include <cstdint>
#include <memory>
#include <vector>

#include "channel/adc.h"
#include "channel/target.h"
#include "detectors/detector.h"

namespace detectors {

namespace viterbi_detail {
enum class Kernel; // detectors/viterbi_kernels.h
}

// Plain integer detector: the test oracle. y holds n + tail samples (tail 0
// or the target's memory), which it converts with `adc`; writes n raw bits;
// n >= 1.
void ViterbiIntPlain(const channel::Target& target, const channel::Adc& adc, const float* y, int n,
                     int tail, std::uint8_t* raw);

// The fast integer detector: up to eight frames side by side in 16-bit SIMD
// lanes where the processor has them (targets of memory up to 5), one
// decision word per step. Decisions are bit-identical to ViterbiIntPlain.
class ViterbiInt {
  public:
    ViterbiInt(const channel::Target& target, const channel::Adc& adc);
    // The same with the passes of `kernel`, which this processor must run.
    ViterbiInt(const channel::Target& target, const channel::Adc& adc,
               viterbi_detail::Kernel kernel);
    ~ViterbiInt();
    ViterbiInt(const ViterbiInt&) = delete;
    ViterbiInt& operator=(const ViterbiInt&) = delete;

    // `count` frames of the same length, y[f] to raw[f].
    void DetectFrames(int count, const float* const* y, int n, int tail, std::uint8_t* const* raw);

    // The same from the converter's codes, each shifted left by CodeShift()
    // (the 16-bit passes take a code as its table row's offset): what
    // DetectFrames makes of the samples with channel::Adc::ToCodes.
    int CodeShift() const;
    void DetectCodes(int count, const std::uint16_t* const* codes, int n, int tail,
                     std::uint8_t* const* raw);
    // The same with each frame's raw bits as words: bit i of raw[f][w] is raw
    // bit 64 w + i, the last word's bits past n 0.
    void DetectCodes(int count, const std::uint16_t* const* codes, int n, int tail,
                     std::uint64_t* const* raw);

    // How the metrics are held: "16-bit", "float" or "scalar" (for the
    // lab's output and the tests).
    const char* Width() const;

  private:
    void Detect(int count, const std::uint16_t* const* codes, int n, int tail,
                std::uint8_t* const* raw, std::uint64_t* const* rawWords);
    struct Impl;
    Impl* impl_;
};

// The Viterbi detector of the lab on quantized samples, behind the
// detectors' interface (its kind is Kind::kViterbi).
std::unique_ptr<Detector> MakeQuantizedViterbi(const channel::Target& target, FrameShape shape,
                                               const channel::Adc& adc);

} // namespace detectors
