#pragma once
// The error-rate chain fused for the ideal channel behind a converter: a
// chunk's frames as words of bits and codes, with the counts of the chain of
// stages (engine/error_rate.cpp's frame runner) to the bit, for every noise
// stream. Per frame:
//   raw bits      64 from each NoiseSource::Bits(), as RandomBits draws them
//   precoder      on words (channel::FrameEncoder::PrecodeWords)
//   levels        the target's level of each window of nu + 1 precoder bits,
//                 by table, 64 samples a step
//   noise, codes  lanes16: the deviates, then level + sigma z in double,
//                 rounded to float, through the converter's rule, in one
//                 pass; serial and lanes: the source's own AddNoise and
//                 channel::Adc::ToCodes
//   slicer        its decision of every code by table, as bits of words
//   Viterbi       the integer detector straight on the codes
//                 (detectors::ViterbiInt::DetectCodes)
//   counting      exclusive or of words and popcount
#include <cstdint>
#include <memory>

#include "engine/error_rate.h"

namespace engine {

class FusedChunk {
  public:
    // The ideal channel, a converter, an integer target whose levels fit a
    // byte, and no detectors but the slicer and the Viterbi detector.
    static bool Applies(const BerSetup& setup, const ChannelDesign& design);
    // Whether this processor runs its vector loops (AVX-512 with VBMI); the
    // plain ones are slower than the chain of stages.
    static bool Vectorized();

    // Applies(setup, design) must hold; `design` must outlive it. `vector`
    // false keeps to the plain loops (for the tests), which give the same
    // counts.
    FusedChunk(const BerSettings& settings, const BerSetup& setup, const ChannelDesign& design,
               bool vector = true);
    ~FusedChunk();
    FusedChunk(const FusedChunk&) = delete;
    FusedChunk& operator=(const FusedChunk&) = delete;

    // The counts of `frames` frames of chunk `chunk` of point `point`: the
    // same draws from NoiseSource(seed, ChunkStream(point, chunk)) in the same
    // order as the chain of stages.
    PointCounts Run(int point, std::uint64_t chunk, int frames);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace engine
