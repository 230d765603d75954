#include "channel/slicer.h"

#include <cmath>

namespace channel {

int SliceLevel(float y) {
    if (!(y == y)) return 0;
    // Clamping first keeps infinities and huge values out of the conversion.
    if (y >= static_cast<float>(kMaxLevel)) return kMaxLevel;
    if (y <= static_cast<float>(-kMaxLevel)) return -kMaxLevel;
    // A float plus one half is exact in double, so halfway rounds up exactly.
    return static_cast<int>(std::floor(static_cast<double>(y) + 0.5));
}

void SliceFrame(const float* y, int n, std::uint8_t* raw) {
    for (int k = 0; k < n; ++k) raw[k] = static_cast<std::uint8_t>(SliceLevel(y[k]) & 1);
}

} // namespace channel
