#pragma once
// The symbol-by-symbol detector. The precoder is the target taken mod 2, so
// the parity of a noise-free sample is its raw bit: slicing each sample to
// the nearest level recovers the data with no error propagation.
#include <cstdint>

namespace channel {

// The extreme ideal sample of the target, either sign.
inline constexpr int kMaxLevel = 6;

// The nearest level to y, clamped to -6 ... +6. A sample exactly halfway
// between two levels goes to the upper one (floor(y + 1/2), exact in double);
// a NaN slices to 0.
int SliceLevel(float y);

// raw[k] = SliceLevel(y[k]) mod 2, k = 0 ... n-1.
void SliceFrame(const float* y, int n, std::uint8_t* raw);

} // namespace channel
