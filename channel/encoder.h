#pragma once
// The coding chain of a target over a frame of any length: raw bits through
// the target's precoder, and the ideal samples of the precoder bits, from the
// all-zero history, on compact byte sequences for long frames. The window's
// own 40-bit blocks keep their own code (channel/coding.h); on E3PR4 the two
// give the same bits and samples.
#include <cstdint>
#include <vector>

#include "channel/target.h"

namespace channel {

class FrameEncoder {
  public:
    explicit FrameEncoder(const Target& target);

    const Target& target() const { return target_; }

    // prec[k] = raw[k] xor the precoder taps over prec[k-1 ... k-nu], every
    // earlier bit 0; without a precoder, a copy. Raw bits are 0 or 1. `prec`
    // may not alias `raw`.
    void Precode(const std::uint8_t* raw, int n, std::uint8_t* prec) const;
    // Precode on words: bit i of word w is bit 64 w + i, n bits in
    // (n + 63) / 64 words; the bits of the last word past n are ignored in
    // raw and written 0 in prec.
    void PrecodeWords(const std::uint64_t* raw, int n, std::uint64_t* prec) const;
    // The raw bits of a precoder output, the same taps the other way; without
    // a precoder, a copy. `raw` may not alias `prec`.
    void InversePrecode(const std::uint8_t* prec, int n, std::uint8_t* raw) const;
    // samples[k] = the target's level over prec[k-nu ... k], k = 0 ... n +
    // tail - 1, every bit before 0 and after n - 1 zero: the frame's own
    // samples, then the `tail` samples its last bits still produce. Each is
    // the trellis's level of that window, bit for bit.
    void Levels(const std::uint8_t* prec, int n, int tail, float* samples) const;

  private:
    Target target_;
    // The precoder is linear over GF(2), so 64 precoder bits are the
    // response to their 64 raw bits from a zero history, xor the response to
    // the history with no raw bits. bytes_[j][v]: the first, for raw byte v
    // at bits 8j ... 8j + 7 of the block (bit i = raw bit k + i); history_[u]:
    // the second, u being the block before's last nu precoder bits (bit i =
    // its bit 64 - nu + i).
    std::vector<std::uint64_t> bytes_;   // [8 * 256]
    std::vector<std::uint64_t> history_; // [2^nu]
    // Integer targets' coefficients, 0 beyond nu: in float, and in bytes
    // when every level fits one (narrow_).
    float coefficients_[kMaxMemory + 1] = {};
    std::int8_t bytes8_[kMaxMemory + 1] = {};
    bool narrow_ = false;
};

} // namespace channel
