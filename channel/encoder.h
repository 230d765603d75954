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
    // step_[hist << 8 | x]: eight raw bits x (bit i = raw bit k + i) from the
    // history hist (bit m-1 = prec[k-m]) give eight precoder bits in the low
    // byte and the new history above it.
    std::vector<std::uint16_t> step_;
    std::vector<float> coefficients_; // integer targets: exact in float
};

} // namespace channel
