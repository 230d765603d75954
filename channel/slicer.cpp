#include "channel/slicer.h"

#include <bit>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace channel {

namespace {

// 1.5 * 2^23: a float of magnitude below 2^22 added to it lands in
// [2^23, 2^24), where the spacing of floats is 1, so the sum is the nearest
// integer (ties to even) and its lowest mantissa bit is that integer's parity.
constexpr float kRoundingBias = 12582912.0f;

// SliceLevel(y) & 1 without a branch: the clamp and the NaN test become
// selects, the rounding an addition. Ties to even are turned into ties
// upwards: v - nearest is exact (both lie within one half of each other and
// below 2^3), and it is +1/2 exactly when v was halfway and rounded down.
inline std::uint8_t SliceParity(float y) {
    float v = y == y ? y : 0.0f;
    v = v < static_cast<float>(kMaxLevel) ? v : static_cast<float>(kMaxLevel);
    v = v > static_cast<float>(-kMaxLevel) ? v : static_cast<float>(-kMaxLevel);
    const float biased = v + kRoundingBias;
    const float nearest = biased - kRoundingBias;
    const std::uint32_t parity = std::bit_cast<std::uint32_t>(biased) & 1u;
    const std::uint32_t upward = v - nearest == 0.5f ? 1u : 0u;
    return static_cast<std::uint8_t>(parity ^ upward);
}

} // namespace

int SliceLevel(float y) {
    if (!(y == y)) return 0;
    // Clamping first keeps infinities and huge values out of the conversion.
    if (y >= static_cast<float>(kMaxLevel)) return kMaxLevel;
    if (y <= static_cast<float>(-kMaxLevel)) return -kMaxLevel;
    // A float plus one half is exact in double, so halfway rounds up exactly.
    return static_cast<int>(std::floor(static_cast<double>(y) + 0.5));
}

#if defined(__SSE2__)
namespace {

// SliceParity on four floats at once, the same operations lane by lane.
inline __m128i SliceParity4(__m128 y) {
    const __m128 top = _mm_set1_ps(static_cast<float>(kMaxLevel));
    const __m128 bias = _mm_set1_ps(kRoundingBias);
    __m128 v = _mm_and_ps(y, _mm_cmpord_ps(y, y));
    v = _mm_min_ps(v, top);
    v = _mm_max_ps(v, _mm_sub_ps(_mm_setzero_ps(), top));
    const __m128 biased = _mm_add_ps(v, bias);
    const __m128 nearest = _mm_sub_ps(biased, bias);
    const __m128i one = _mm_set1_epi32(1);
    const __m128i upward =
        _mm_castps_si128(_mm_cmpeq_ps(_mm_sub_ps(v, nearest), _mm_set1_ps(0.5f)));
    return _mm_and_si128(_mm_xor_si128(_mm_castps_si128(biased), upward), one);
}

} // namespace
#endif

void SliceFrame(const float* y, int n, std::uint8_t* raw) {
    int k = 0;
#if defined(__SSE2__)
    // Sixteen samples to sixteen bytes: the 0/1 lanes pack without saturating.
    for (; k + 16 <= n; k += 16) {
        const __m128i a = SliceParity4(_mm_loadu_ps(y + k));
        const __m128i b = SliceParity4(_mm_loadu_ps(y + k + 4));
        const __m128i c = SliceParity4(_mm_loadu_ps(y + k + 8));
        const __m128i d = SliceParity4(_mm_loadu_ps(y + k + 12));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(raw + k), bytes);
    }
#endif
    for (; k < n; ++k) raw[k] = SliceParity(y[k]);
}

} // namespace channel
