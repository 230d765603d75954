#pragma once
// The coding chain over a frame of any length: the same precoder and target as
// the window's 40-bit blocks (channel/coding.h), from the same all-zero
// history, on compact byte sequences for long frames.
#include <cstdint>

namespace channel {

// The precoder taps 1 + D + D^4 + D^5 over GF(2): a raw bit is its precoder
// bit xor these earlier precoder bits.
inline constexpr int kPrecoderMemory = 5;

// prec[k] = raw[k] ^ prec[k-1] ^ prec[k-4] ^ prec[k-5] and samp[k] = the target
// over prec, k = 0 ... n-1, every earlier bit 0. Raw bits are 0 or 1; samples
// come out in -6 ... +6. The outputs may not alias `raw`.
void EncodeFrame(const std::uint8_t* raw, int n, std::uint8_t* prec, std::int8_t* samp);

// The raw bits of a precoder output: raw[k] = prec[k] ^ prec[k-1] ^ prec[k-4]
// ^ prec[k-5], every earlier bit 0. `raw` may not alias `prec`.
void InversePrecode(const std::uint8_t* prec, int n, std::uint8_t* raw);

} // namespace channel
