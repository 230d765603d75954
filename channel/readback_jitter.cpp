// The jitter terms at one instant, the sampler's inner loop on a head with
// jitter: every transition within reach adds sign (g_LP(x - Delta) -
// g_LP(x)), x = t - k, each g_LP from TransitionAt's table. The double
// lanes below do TransitionAt's operations one for one (floor, truncations,
// the rounding to float) to find where each term reads its table; a scalar
// loop then reads there (gathers cost more than loads on the processors we
// run on), interpolates as TransitionAt does, and adds the terms in the
// transitions' order, so each sum is the plain one to the bit.
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
// Where TransitionAt reads for four arguments: `length` a row of its table,
// `rows` its phases. `pair` gets the index of the pair (rows p0 and p0 + 1 of
// column i + 1, side by side in the table of pairs) and `alpha` the weight
// of the second; the lanes where the fraction is 0 (p0 = rows, where
// TransitionAt reads row 0 alone) are set in the mask returned. Lanes out of
// the table's reach (the padding) are clamped into it and never used.
__attribute__((target("avx2"))) inline __m128i Where4(__m256d v, int length, int rows, int span,
                                                      int margin, int* pair, float* alpha) {
    // (v + span) + margin, in TransitionAt's order.
    const __m256d x = _mm256_add_pd(_mm256_add_pd(v, _mm256_set1_pd(span)), _mm256_set1_pd(margin));
    const __m256d whole = _mm256_floor_pd(x);
    __m128i i = _mm256_cvttpd_epi32(whole);
    const __m256d back = _mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(1), _mm256_sub_pd(x, whole)),
                                       _mm256_set1_pd(rows));
    const __m128i p0 = _mm256_cvttpd_epi32(back);
    _mm_storeu_ps(alpha, _mm256_cvtpd_ps(_mm256_sub_pd(back, _mm256_cvtepi32_pd(p0))));
    i = _mm_min_epi32(_mm_max_epi32(i, _mm_setzero_si128()), _mm_set1_epi32(length - 2));
    const __m128i row = _mm_min_epi32(p0, _mm_set1_epi32(rows - 1));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(pair),
        _mm_add_epi32(_mm_mullo_epi32(_mm_add_epi32(i, _mm_set1_epi32(1)), _mm_set1_epi32(rows)),
                      row));
    return _mm_cmpgt_epi32(p0, _mm_set1_epi32(rows - 1));
}

// TransitionAt from Where4's pair and weight.
inline float Interpolated(const float* pairs, int pair, float alpha) {
    const float* ab = pairs + 2 * static_cast<std::ptrdiff_t>(pair);
    return (1.0f - alpha) * ab[0] + alpha * ab[1];
}

// The terms' sum, or false where a moved argument (or, before t = 64, a
// still one) falls on a whole phase: the plain loop takes those instants.
__attribute__((target("avx2"))) bool Terms4(double t, const int* at, const float* sign,
                                            const double* delta, int count, float& y,
                                            const float* phase, const float* pairs, int length,
                                            int rows, int span, int margin) {
    alignas(16) int moved[kMostTerms], fixed[kMostTerms];
    alignas(16) float movedAlpha[kMostTerms], fixedAlpha[kMostTerms];
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
    __m128i edges = _mm_setzero_si128();
    for (int i = 0; i < count; i += 4) {
        const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + i));
        const __m256d x = _mm256_sub_pd(vt, _mm256_cvtepi32_pd(k));
        const __m256d shifted = _mm256_sub_pd(x, _mm256_loadu_pd(delta + i));
        edges = _mm_or_si128(
            edges, Where4(shifted, length, rows, span, margin, moved + i, movedAlpha + i));
        if (still != nullptr)
            _mm_store_si128(
                reinterpret_cast<__m128i*>(fixed + i),
                _mm_min_epi32(_mm_max_epi32(_mm_sub_epi32(stillAt, k), _mm_setzero_si128()), top));
        else
            edges = _mm_or_si128(edges,
                                 Where4(x, length, rows, span, margin, fixed + i, fixedAlpha + i));
    }
    if (_mm_movemask_epi8(edges) != 0) return false;
    float sum = y;
    if (still != nullptr) {
        for (int i = 0; i < count; ++i)
            sum += sign[i] * (Interpolated(pairs, moved[i], movedAlpha[i]) - still[fixed[i]]);
    } else {
        for (int i = 0; i < count; ++i)
            sum += sign[i] * (Interpolated(pairs, moved[i], movedAlpha[i]) -
                              Interpolated(pairs, fixed[i], fixedAlpha[i]));
    }
    y = sum;
    return true;
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
    if (HasAvx2() && count <= kMostTerms &&
        Terms4(t, at, sign, delta, count, y, phase_.data(), pairs_.data(), phaseLength_, kPhases,
               kJitterSpan, kMargin))
        return y;
#endif
    for (int i = 0; i < count; ++i) {
        const double x = t - at[i];
        y += sign[i] * (TransitionAt(x - delta[i]) - TransitionAt(x));
    }
    return y;
}

} // namespace channel
