// The jitter terms at one instant, the sampler's inner loop on a head with
// jitter: every transition within reach adds sign (g_LP(x - Delta) -
// g_LP(x)), x = t - k, each g_LP from TransitionAt's table. The double
// lanes below do TransitionAt's operations one for one (floor, truncations,
// the rounding to float), so each term is the scalar one to the bit; only
// the sum is left to a scalar loop, in the transitions' order.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "channel/readback.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUORVANE_JITTER_X86 1
#endif

namespace channel {

namespace {

// The most transitions within reach of an instant, padded to whole groups.
constexpr int kMostTerms = (2 * kJitterReach + 2 + 3) / 4 * 4;
// A row of TransitionAt's table, 2 (kJitterSpan + 4) + 1 floats, in whole
// vectors of eight.
constexpr int kRowFloats = (2 * (kJitterSpan + 4) + 1 + 7) / 8 * 8;

#ifdef QUORVANE_JITTER_X86
// TransitionAt of four arguments. `phase` is its table, `length` a row,
// `rows` its phases, `pairs` the table's values beside the next phase's:
// rows p0 and p0 + 1 interpolated, row 0 alone where the fraction is 0 (p0 =
// rows). Lanes whose argument is out of the table's reach (the padding) are
// clamped into it and read values that are never used.
__attribute__((target("avx2"))) inline __m128 Transitions4(__m256d v, const float* phase,
                                                           const float* pairs, int length, int rows,
                                                           int span, int margin) {
    // (v + span) + margin, in TransitionAt's order.
    const __m256d x = _mm256_add_pd(_mm256_add_pd(v, _mm256_set1_pd(span)), _mm256_set1_pd(margin));
    const __m256d whole = _mm256_floor_pd(x);
    __m128i i = _mm256_cvttpd_epi32(whole);
    const __m256d back = _mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(1), _mm256_sub_pd(x, whole)),
                                       _mm256_set1_pd(rows));
    const __m128i p0 = _mm256_cvttpd_epi32(back);
    const __m128 alpha = _mm256_cvtpd_ps(_mm256_sub_pd(back, _mm256_cvtepi32_pd(p0)));
    i = _mm_min_epi32(_mm_max_epi32(i, _mm_setzero_si128()), _mm_set1_epi32(length - 2));
    const __m128i edge = _mm_cmpgt_epi32(p0, _mm_set1_epi32(rows - 1));
    const __m128i row = _mm_min_epi32(p0, _mm_set1_epi32(rows - 1));
    // The pair of column i + 1 at phase p0: a and b side by side (the masked
    // gather, all lanes on: the plain one starts from an undefined vector,
    // which GCC 12 reports as uninitialized, its bug 105593).
    const __m128i at = _mm_add_epi32(
        _mm_mullo_epi32(_mm_add_epi32(i, _mm_set1_epi32(1)), _mm_set1_epi32(rows)), row);
    const __m256 ab =
        _mm256_permutevar8x32_ps(_mm256_castpd_ps(_mm256_mask_i32gather_pd(
                                     _mm256_setzero_pd(), reinterpret_cast<const double*>(pairs),
                                     at, _mm256_castsi256_pd(_mm256_set1_epi64x(-1)), 8)),
                                 _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
    const __m128 a = _mm256_castps256_ps128(ab), b = _mm256_extractf128_ps(ab, 1);
    __m128 value =
        _mm_add_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(1.0f), alpha), a), _mm_mul_ps(alpha, b));
    if (_mm_movemask_epi8(edge) != 0)
        value = _mm_blendv_ps(value, _mm_i32gather_ps(phase, i, 4), _mm_castsi128_ps(edge));
    return value;
}

__attribute__((target("avx2"))) float Terms4(double t, const int* at, const float* sign,
                                             const double* delta, int count, float y,
                                             const float* phase, const float* pairs, int length,
                                             int rows, int span, int margin) {
    alignas(16) float terms[kMostTerms];
    // From t = 64 on, x = t - k (|x| <= span) and TransitionAt's sums on it
    // are exact, so every still term has t's own fraction: one phase p0 and
    // weight for all, whose interpolated row is made once; each term is then
    // the row at floor(t) + span + margin - k (row 0 there where the
    // fraction is 0), the same floats as TransitionAt's.
    alignas(32) float interpolated[kRowFloats];
    const float* still = nullptr;
    __m128i stillAt = _mm_setzero_si128();
    if (t >= 64 && t < 1e9) {
        const double whole = std::floor(t);
        const double back = (1 - (t - whole)) * rows;
        const int p0 = static_cast<int>(back);
        if (p0 >= rows) {
            still = phase;
        } else {
            const float alpha = static_cast<float>(back - p0);
            const __m256 wa = _mm256_set1_ps(1.0f - alpha), wb = _mm256_set1_ps(alpha);
            const float* a = phase + static_cast<std::ptrdiff_t>(p0) * length;
            for (int c = 0; c < kRowFloats; c += 8)
                _mm256_store_ps(interpolated + c,
                                _mm256_add_ps(_mm256_mul_ps(wa, _mm256_loadu_ps(a + c)),
                                              _mm256_mul_ps(wb, _mm256_loadu_ps(a + length + c))));
            still = interpolated + 1;
        }
        stillAt = _mm_set1_epi32(static_cast<int>(whole) + span + margin);
    }
    const __m128i top = _mm_set1_epi32(length - 2);
    const __m256d vt = _mm256_set1_pd(t);
    for (int i = 0; i < count; i += 4) {
        const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
        const __m256d x = _mm256_sub_pd(vt, _mm256_cvtepi32_pd(k));
        const __m256d shifted = _mm256_sub_pd(x, _mm256_loadu_pd(delta + i));
        const __m128 moved = Transitions4(shifted, phase, pairs, length, rows, span, margin);
        __m128 fixed;
        if (still != nullptr) {
            const __m128i c =
                _mm_min_epi32(_mm_max_epi32(_mm_sub_epi32(stillAt, k), _mm_setzero_si128()), top);
            fixed = _mm_i32gather_ps(still, c, 4);
        } else {
            fixed = Transitions4(x, phase, pairs, length, rows, span, margin);
        }
        _mm_store_ps(terms + i, _mm_mul_ps(_mm_loadu_ps(sign + i), _mm_sub_ps(moved, fixed)));
    }
    for (int i = 0; i < count; ++i) y += terms[i];
    return y;
}

bool HasAvx2() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

} // namespace

float Readback::AddJitterTerms(double t, const int* at, const float* sign, const double* delta,
                               int count, float y) const {
#ifdef QUORVANE_JITTER_X86
    if (HasAvx2() && count <= kMostTerms)
        return Terms4(t, at, sign, delta, count, y, phase_.data(), pairs_.data(), phaseLength_,
                      kPhases, kJitterSpan, kMargin);
#endif
    for (int i = 0; i < count; ++i) {
        const double x = t - at[i];
        y += sign[i] * (TransitionAt(x - delta[i]) - TransitionAt(x));
    }
    return y;
}

} // namespace channel
