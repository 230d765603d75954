// The jitter terms at one instant, the sampler's inner loop on a head with
// jitter: every transition within reach adds sign (g_LP(x - Delta) -
// g_LP(x)), x = t - k, each g_LP from TransitionAt's table. The double
// lanes below do TransitionAt's operations one for one (floor, truncations,
// the rounding to float) to find where each term reads its table; a scalar
// loop then reads there (gathers cost more than loads on the processors we
// run on) and interpolates as TransitionAt does; the sampler adds the terms
// in the transitions' order, so each sum is the plain one to the bit. Where the
// processor has AVX-512 eight transitions go at once and each term is made
// in the lanes too, by the same float operations (the moved terms' pairs
// loaded one by one into a vector, the still terms read from the row held
// in registers by permutations; gathers were slower for both).
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "channel/readback.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC bug 105593, as in noise.cpp.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_JITTER_X86 1
#endif

namespace channel {

namespace {

constexpr int kMostTerms = Readback::kMostJitterTerms;
static_assert(kMostTerms % 8 == 0 && Readback::kJitterPad >= 7);
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

// The terms into term[0 ... count - 1], or false where a moved argument
// (or, before t = 64, a still one) falls on a whole phase: the plain loop
// takes those instants.
__attribute__((target("avx2"))) bool Terms4(double t, const int* at, const float* sign,
                                            const double* delta, int count, float* term,
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
    if (still != nullptr) {
        for (int i = 0; i < count; ++i)
            term[i] = sign[i] * (Interpolated(pairs, moved[i], movedAlpha[i]) - still[fixed[i]]);
    } else {
        for (int i = 0; i < count; ++i)
            term[i] = sign[i] * (Interpolated(pairs, moved[i], movedAlpha[i]) -
                                 Interpolated(pairs, fixed[i], fixedAlpha[i]));
    }
    return true;
}

#define QUORVANE_AVX512 "avx512f,avx512vl,avx512dq"

// Where4 on eight arguments: `pair` and `alpha` as there, the lanes where
// the fraction is 0 set in the mask returned.
__attribute__((target(QUORVANE_AVX512))) inline __mmask8
Where8(__m512d v, int length, int rows, int span, int margin, __m256i& pair, __m256& alpha) {
    const __m512d x = _mm512_add_pd(_mm512_add_pd(v, _mm512_set1_pd(span)), _mm512_set1_pd(margin));
    const __m512d whole = _mm512_roundscale_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    __m256i i = _mm512_cvttpd_epi32(whole);
    const __m512d back = _mm512_mul_pd(_mm512_sub_pd(_mm512_set1_pd(1), _mm512_sub_pd(x, whole)),
                                       _mm512_set1_pd(rows));
    const __m256i p0 = _mm512_cvttpd_epi32(back);
    alpha = _mm512_cvtpd_ps(_mm512_sub_pd(back, _mm512_cvtepi32_pd(p0)));
    i = _mm256_min_epi32(_mm256_max_epi32(i, _mm256_setzero_si256()),
                         _mm256_set1_epi32(length - 2));
    const __m256i row = _mm256_min_epi32(p0, _mm256_set1_epi32(rows - 1));
    pair = _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_add_epi32(i, _mm256_set1_epi32(1)), _mm256_set1_epi32(rows)),
        row);
    return _mm256_cmpgt_epi32_mask(p0, _mm256_set1_epi32(rows - 1));
}

// Interpolated on eight lanes: each lane's pair in one 64-bit load (a
// gather was slower), the first of each pair then split from the second.
__attribute__((target(QUORVANE_AVX512))) inline __m256 Interpolated8(const float* pairs,
                                                                     __m256i pair, __m256 alpha) {
    alignas(32) int at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), pair);
    const double* p = reinterpret_cast<const double*>(pairs);
    const __m128d q0 = _mm_loadh_pd(_mm_load_sd(p + at[0]), p + at[1]);
    const __m128d q1 = _mm_loadh_pd(_mm_load_sd(p + at[2]), p + at[3]);
    const __m128d q2 = _mm_loadh_pd(_mm_load_sd(p + at[4]), p + at[5]);
    const __m128d q3 = _mm_loadh_pd(_mm_load_sd(p + at[6]), p + at[7]);
    const __m256d lo = _mm256_insertf128_pd(_mm256_castpd128_pd256(q0), q1, 1);
    const __m256d hi = _mm256_insertf128_pd(_mm256_castpd128_pd256(q2), q3, 1);
    const __m512 ab = _mm512_castpd_ps(_mm512_insertf64x4(_mm512_castpd256_pd512(lo), hi, 1));
    const __m512 split = _mm512_permutexvar_ps(
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15), ab);
    const __m256 a = _mm512_castps512_ps256(split), b = _mm512_extractf32x8_ps(split, 1);
    return _mm256_add_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(1.0f), alpha), a),
                         _mm256_mul_ps(alpha, b));
}

// row[i] for each of the low eight lanes' i, 0 <= i < 96, from the six
// vectors of `row`: three permutations over pairs of vectors, each lane then
// takes its pair's.
__attribute__((target(QUORVANE_AVX512))) inline __m256 Lookup(const __m512* row, __m256i at) {
    const __m512i i = _mm512_zextsi256_si512(at);
    __m512 v = _mm512_permutex2var_ps(row[0], i, row[1]);
    v = _mm512_mask_blend_ps(_mm512_cmpge_epi32_mask(i, _mm512_set1_epi32(32)), v,
                             _mm512_permutex2var_ps(row[2], i, row[3]));
    v = _mm512_mask_blend_ps(_mm512_cmpge_epi32_mask(i, _mm512_set1_epi32(64)), v,
                             _mm512_permutex2var_ps(row[4], i, row[5]));
    return _mm512_castps512_ps256(v);
}

// Terms4 eight transitions at a time, each term made in the lanes (the same
// operations as Terms4's scalar loop).
__attribute__((target(QUORVANE_AVX512))) bool Terms8(double t, const int* at, const float* sign,
                                                     const double* delta, int count, float* term,
                                                     const float* phase, const float* pairs,
                                                     int length, int rows, int span, int margin) {
    // The still terms' row, as in Terms4.
    alignas(64) float interpolated[kRowFloats];
    const float* still = nullptr;
    __m256i stillAt = _mm256_setzero_si256();
    if (t >= 64 && t < 1e9) {
        const double whole = std::floor(t);
        const double back = (1 - (t - whole)) * rows;
        const int p0 = static_cast<int>(back);
        if (p0 >= rows) {
            still = phase;
        } else {
            const float alpha = static_cast<float>(back - p0);
            const __m512 wa = _mm512_set1_ps(1.0f - alpha), wb = _mm512_set1_ps(alpha);
            const float* a = phase + static_cast<std::ptrdiff_t>(p0) * length;
            static_assert(kRowFloats % 16 == 0);
            for (int c = 0; c < kRowFloats; c += 16)
                _mm512_store_ps(interpolated + c,
                                _mm512_add_ps(_mm512_mul_ps(wa, _mm512_loadu_ps(a + c)),
                                              _mm512_mul_ps(wb, _mm512_loadu_ps(a + length + c))));
            still = interpolated + 1;
        }
        stillAt = _mm256_set1_epi32(static_cast<int>(whole) + span + margin);
    }
    // The still row in registers, read by permutations rather than gathers
    // (slow here): its 96 floats in three pairs of vectors of sixteen; the
    // interpolated row is read one float on (still = interpolated + 1).
    static_assert(kRowFloats == 96);
    __m512 row[6];
    const __m256i shift = _mm256_set1_epi32(still == phase ? 0 : 1);
    if (still != nullptr)
        for (int c = 0; c < 6; ++c)
            row[c] = _mm512_loadu_ps(still - (still == phase ? 0 : 1) + 16 * c);
    const __m256i top = _mm256_set1_epi32(length - 2);
    const __m512d vt = _mm512_set1_pd(t);
    __mmask8 edges = 0;
    for (int i = 0; i < count; i += 8) {
        // Lanes past count (the padding, or transitions out of reach) are
        // computed and never used, their edges ignored.
        const __mmask8 used =
            count - i >= 8 ? 0xff : static_cast<__mmask8>((1u << (count - i)) - 1);
        const __m256i k = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + i));
        const __m512d x = _mm512_sub_pd(vt, _mm512_cvtepi32_pd(k));
        const __m512d shifted = _mm512_sub_pd(x, _mm512_loadu_pd(delta + i));
        __m256i movedPair, fixedPair;
        __m256 movedAlpha, fixedAlpha;
        edges |= used & Where8(shifted, length, rows, span, margin, movedPair, movedAlpha);
        const __m256 moved = Interpolated8(pairs, movedPair, movedAlpha);
        __m256 fixed;
        if (still != nullptr) {
            const __m256i column = _mm256_min_epi32(
                _mm256_max_epi32(_mm256_sub_epi32(stillAt, k), _mm256_setzero_si256()), top);
            fixed = Lookup(row, _mm256_add_epi32(column, shift));
        } else {
            edges |= used & Where8(x, length, rows, span, margin, fixedPair, fixedAlpha);
            fixed = Interpolated8(pairs, fixedPair, fixedAlpha);
        }
        _mm256_storeu_ps(term + i,
                         _mm256_mul_ps(_mm256_loadu_ps(sign + i), _mm256_sub_ps(moved, fixed)));
    }
    // (term has room for whole vectors: kMostTerms.)
    return edges == 0;
}
#endif

} // namespace

bool Readback::Runs(JitterKernel kernel) {
    switch (kernel) {
    case JitterKernel::kScalar:
        return true;
#ifdef QUORVANE_JITTER_X86
    case JitterKernel::kAvx2:
        return __builtin_cpu_supports("avx2");
    case JitterKernel::kAvx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512dq");
#endif
    default:
        return false;
    }
}

JitterKernel Readback::BestJitterKernel() {
    static const JitterKernel best = Runs(JitterKernel::kAvx512) ? JitterKernel::kAvx512
                                     : Runs(JitterKernel::kAvx2) ? JitterKernel::kAvx2
                                                                 : JitterKernel::kScalar;
    return best;
}

int Readback::JitterTerms(JitterKernel kernel, double t, const int* at, const float* sign,
                          const double* delta, int count, float* term) const {
#ifdef QUORVANE_JITTER_X86
    if (kernel == JitterKernel::kAvx512 &&
        Terms8(t, at, sign, delta, count, term, phase_.data(), pairs_.data(), phaseLength_, kPhases,
               kJitterSpan, kMargin))
        return count;
    if (kernel == JitterKernel::kAvx2 &&
        Terms4(t, at, sign, delta, count, term, phase_.data(), pairs_.data(), phaseLength_, kPhases,
               kJitterSpan, kMargin))
        return count;
#endif
    for (int i = 0; i < count; ++i) {
        const double x = t - at[i];
        term[i] = sign[i] * (TransitionAt(x - delta[i]) - TransitionAt(x));
    }
    return count;
}

} // namespace channel
