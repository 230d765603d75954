#pragma once
// The sector runs' decoder: the fast frame decoders of codes/frames.h on a
// batch of sectors (int8, int16 or float messages, one sector a lane), or
// the plain float decoder of codes/decoder.h one sector at a time, the
// oracle. Flooding sum-product has only the plain one.
#include <cstdint>
#include <memory>

#include "codes/code.h"
#include "codes/decoder.h"
#include "codes/fixed.h"
#include "codes/frames.h"

namespace engine {

enum class Messages { kInt8, kInt16, kFloat, kPlain };

class SectorDecoder {
  public:
    SectorDecoder(const codes::Code& code, const codes::DecoderOptions& options, Messages messages);
    SectorDecoder(SectorDecoder&&) = default;

    // Frames a register holds (1: the plain decoder).
    int Lanes() const { return fast_ ? fast_->Lanes() : 1; }
    // Whether the plain decoder runs (asked for, or sum-product).
    bool Plain() const { return !fast_; }

    // Decodes `count` frames, any number: ratios[f] in, bits[f], posterior[f]
    // and results[f] out. Each frame gets what it would get alone.
    void Decode(int count, const float* const* ratios, std::uint8_t* const* bits,
                float* const* posterior, codes::FrameResult* results);

    // The extrinsic ratios of a frame decoded from `input`: its posterior
    // less the input as the decoder read it (clipped, and in integers
    // quantized to the register's range). Less the input itself, a ratio
    // beyond that range would hand back a sign turned over.
    void Extrinsic(int n, const float* input, const float* posterior, float* out) const;

    // One frame through `iterations` local iterations without the early
    // stop (the window's trace of a sector converging), in the same
    // arithmetic.
    codes::FrameResult DecodeFor(int iterations, const float* ratios, std::uint8_t* bits) const;

  private:
    const codes::Code* code_;
    codes::DecoderOptions options_;
    codes::FrameOptions frame_;
    bool integer_ = false;
    codes::FixedConstants constants_;
    std::unique_ptr<codes::FrameDecoder> fast_;
};

} // namespace engine
