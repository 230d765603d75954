#pragma once
// The fast decoders: layered min-sum on many frames at once, one frame per
// lane of a vector register (64 frames of 8-bit messages in an AVX-512
// register, 32 of 16 bits, 16 floats; half as many with AVX2), the kernel
// chosen at run time. Each frame gets exactly what DecodeFixed
// (codes/fixed.h) gives it alone, early stop included: a frame whose
// syndrome is zero keeps its result while the others go on.
#include <cstdint>
#include <memory>

#include "codes/code.h"
#include "codes/fixed.h"

namespace codes {

enum class Kernel { kScalar, kAvx2, kAvx512 };
// kAvx512 needs AVX-512F and BW, kAvx2 AVX2; kScalar is DecodeFixed frame by
// frame.
bool Runs(Kernel kernel);
Kernel BestKernel();
const char* KernelName(Kernel kernel);

class FrameDecoder {
  public:
    FrameDecoder(const Code& code, const FrameOptions& options, Kernel kernel = BestKernel());
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Frames per call: the lanes of one register (1 for kScalar).
    int Lanes() const;

    // Decodes frames 0 ... frames-1 (frames <= Lanes()): ratios[f][0 ... n-1]
    // in, bits[f][0 ... n-1] and results[f] out, posterior[f] too unless
    // posterior is null.
    void Decode(int frames, const float* const* ratios, std::uint8_t* const* bits,
                float* const* posterior, FrameResult* results);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace codes
