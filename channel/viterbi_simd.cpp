// The fast forward passes: all 32 add-compare-selects of a step at once, in
// two 16-lane AVX-512 registers or four 8-lane AVX2 registers, picked at run
// time; other processors take the scalar pass. Each lane does exactly the
// scalar float operations, so the decisions are the same bits.
#include <limits>

#include "channel/coding.h"
#include "channel/viterbi_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC 12's AVX-512 intrinsics start from _mm512_undefined_ps(), which it then
// reports as "may be used uninitialized" in every function that inlines them
// (GCC bug 105593); the values are always fully defined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_VITERBI_X86 1
#endif

namespace channel::viterbi_detail {

#ifdef QUORVANE_VITERBI_X86
namespace {

// The odd predecessor 2j + 1 differs from the even one 2j in the oldest bit
// (weight kTarget[5]), a new bit 1 from a new bit 0 by kTarget[0]; as these
// cancel, the branch from 2j + 1 with new bit 1 has the ideal sample of the
// branch from 2j with new bit 0, and the same branch metric.
static_assert(kTarget[0] + kTarget[kTargetLen - 1] == 0);

// Registers hold states 0 ... 15 ("lo", new bit 0) and 16 ... 31 ("hi", new
// bit 1). State j + 16 b has the predecessors 2j and 2j + 1 for both b, so
// one gather of the even and one of the odd old metrics feeds both halves.
struct Avx512Trellis {
    __m512 idealEven0, idealOdd0, idealEven1; // idealOdd1 is idealEven0
    __m512i even, odd;
};

__attribute__((target("avx512f"), always_inline)) inline std::uint32_t
Avx512Step(const Avx512Trellis& t, float y, __m512& lo, __m512& hi) {
    const __m512 e = _mm512_permutex2var_ps(lo, t.even, hi);
    const __m512 o = _mm512_permutex2var_ps(lo, t.odd, hi);
    const __m512 yk = _mm512_set1_ps(y);
    const __m512 de0 = _mm512_sub_ps(yk, t.idealEven0);
    const __m512 do0 = _mm512_sub_ps(yk, t.idealOdd0);
    const __m512 de1 = _mm512_sub_ps(yk, t.idealEven1);
    const __m512 be0 = _mm512_mul_ps(de0, de0);
    const __m512 me0 = _mm512_add_ps(e, be0);
    const __m512 mo0 = _mm512_add_ps(o, _mm512_mul_ps(do0, do0));
    const __m512 me1 = _mm512_add_ps(e, _mm512_mul_ps(de1, de1));
    const __m512 mo1 = _mm512_add_ps(o, be0);
    // Strictly smaller: a tie keeps the even predecessor, a NaN never wins.
    // min(a, b) is exactly a < b ? a : b, so the survivors need not wait for
    // the decision masks.
    const __mmask16 c0 = _mm512_cmp_ps_mask(mo0, me0, _CMP_LT_OQ);
    const __mmask16 c1 = _mm512_cmp_ps_mask(mo1, me1, _CMP_LT_OQ);
    lo = _mm512_min_ps(mo0, me0);
    hi = _mm512_min_ps(mo1, me1);
    return static_cast<std::uint32_t>(c0) | (static_cast<std::uint32_t>(c1) << 16);
}

// The smallest of the 32 metrics in every lane (min is exact, so the order of
// the folds does not matter).
__attribute__((target("avx512f"), always_inline)) inline __m512 Avx512Min(__m512 lo, __m512 hi) {
    __m512 m = _mm512_min_ps(lo, hi);
    m = _mm512_min_ps(m, _mm512_shuffle_f32x4(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm512_min_ps(m, _mm512_shuffle_f32x4(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
    m = _mm512_min_ps(m, _mm512_permute_ps(m, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm512_min_ps(m, _mm512_permute_ps(m, _MM_SHUFFLE(2, 3, 0, 1)));
}

// F frames of the same length at once: their steps are independent, so the
// processor overlaps one frame's chain of dependent operations with the
// other's. Every frame sees exactly the operations it would alone.
template <int F>
__attribute__((target("avx512f"), always_inline)) inline void
ForwardAvx512Frames(const float* const (&y)[F], int n, std::uint32_t* const (&decisions)[F],
                    float* const (&pmOut)[F]) {
    alignas(64) float ideal[3][16];
    alignas(64) std::int32_t evenIdx[16];
    alignas(64) std::int32_t oddIdx[16];
    for (int j = 0; j < 16; ++j) {
        ideal[0][j] = kIdeal[2 * j][0];
        ideal[1][j] = kIdeal[2 * j + 1][0];
        ideal[2][j] = kIdeal[2 * j][1];
        evenIdx[j] = 2 * j;
        oddIdx[j] = 2 * j + 1;
    }
    const Avx512Trellis t{_mm512_load_ps(ideal[0]), _mm512_load_ps(ideal[1]),
                          _mm512_load_ps(ideal[2]), _mm512_load_si512(evenIdx),
                          _mm512_load_si512(oddIdx)};
    const __m512 inf = _mm512_set1_ps(std::numeric_limits<float>::infinity());
    __m512 lo[F], hi[F];
    for (int f = 0; f < F; ++f) {
        lo[f] = _mm512_mask_blend_ps(1, inf, _mm512_setzero_ps());
        hi[f] = inf;
    }
    int k = 0;
    for (; k + kRenormPeriod <= n; k += kRenormPeriod) {
        for (int i = 0; i < kRenormPeriod; ++i)
            for (int f = 0; f < F; ++f)
                decisions[f][k + i] = Avx512Step(t, y[f][k + i], lo[f], hi[f]);
        for (int f = 0; f < F; ++f) {
            const __m512 low = Avx512Min(lo[f], hi[f]);
            lo[f] = _mm512_sub_ps(lo[f], low);
            hi[f] = _mm512_sub_ps(hi[f], low);
        }
    }
    for (; k < n; ++k)
        for (int f = 0; f < F; ++f) decisions[f][k] = Avx512Step(t, y[f][k], lo[f], hi[f]);
    for (int f = 0; f < F; ++f) {
        _mm512_storeu_ps(pmOut[f], lo[f]);
        _mm512_storeu_ps(pmOut[f] + 16, hi[f]);
    }
}

__attribute__((target("avx512f"))) void ForwardAvx512(const float* y, int n,
                                                      std::uint32_t* decisions, float* pmOut) {
    ForwardAvx512Frames<1>({y}, n, {decisions}, {pmOut});
}

__attribute__((target("avx512f"))) void ForwardAvx512Pair(const float* y0, const float* y1, int n,
                                                          std::uint32_t* d0, std::uint32_t* d1,
                                                          float* pm0, float* pm1) {
    ForwardAvx512Frames<2>({y0, y1}, n, {d0, d1}, {pm0, pm1});
}

// AVX2: r[0] ... r[3] hold states 0-7, 8-15, 16-23 and 24-31. New states
// 8h ... 8h + 7 (and 16 more) come from the old states 16h ... 16h + 15,
// that is from the even and the odd lanes of r[2h] and r[2h + 1].
struct Avx2Trellis {
    __m256 ideal[2][2][2]; // [new bit][odd predecessor][h]
};

// The even (odd) lanes of a, then those of b.
__attribute__((target("avx2"), always_inline)) inline __m256 Avx2Lanes(__m256 a, __m256 b,
                                                                       bool odd) {
    const __m256 mixed = odd ? _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))
                             : _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    return _mm256_castpd_ps(
        _mm256_permute4x64_pd(_mm256_castps_pd(mixed), _MM_SHUFFLE(3, 1, 2, 0)));
}

__attribute__((target("avx2"), always_inline)) inline std::uint32_t
Avx2Step(const Avx2Trellis& t, float y, __m256 (&r)[4]) {
    const __m256 yk = _mm256_set1_ps(y);
    __m256 next[4];
    std::uint32_t word = 0;
    for (int h = 0; h < 2; ++h) {
        const __m256 e = Avx2Lanes(r[2 * h], r[2 * h + 1], false);
        const __m256 o = Avx2Lanes(r[2 * h], r[2 * h + 1], true);
        for (int b = 0; b < 2; ++b) {
            const __m256 de = _mm256_sub_ps(yk, t.ideal[b][0][h]);
            const __m256 dd = _mm256_sub_ps(yk, t.ideal[b][1][h]);
            const __m256 me = _mm256_add_ps(e, _mm256_mul_ps(de, de));
            const __m256 mo = _mm256_add_ps(o, _mm256_mul_ps(dd, dd));
            const int lanes = _mm256_movemask_ps(_mm256_cmp_ps(mo, me, _CMP_LT_OQ));
            next[2 * b + h] = _mm256_min_ps(mo, me);
            word |= static_cast<std::uint32_t>(lanes) << (16 * b + 8 * h);
        }
    }
    for (int i = 0; i < 4; ++i) r[i] = next[i];
    return word;
}

__attribute__((target("avx2"))) void ForwardAvx2(const float* y, int n, std::uint32_t* decisions,
                                                 float* pmOut) {
    Avx2Trellis t;
    for (int b = 0; b < 2; ++b) {
        for (int odd = 0; odd < 2; ++odd) {
            for (int h = 0; h < 2; ++h) {
                alignas(32) float lane[8];
                for (int j = 0; j < 8; ++j) lane[j] = kIdeal[2 * (8 * h + j) + odd][b];
                t.ideal[b][odd][h] = _mm256_load_ps(lane);
            }
        }
    }
    const __m256 inf = _mm256_set1_ps(std::numeric_limits<float>::infinity());
    __m256 r[4] = {_mm256_blend_ps(inf, _mm256_setzero_ps(), 1), inf, inf, inf};
    int k = 0;
    for (; k + kRenormPeriod <= n; k += kRenormPeriod) {
        for (int i = 0; i < kRenormPeriod; ++i) decisions[k + i] = Avx2Step(t, y[k + i], r);
        __m256 m = _mm256_min_ps(_mm256_min_ps(r[0], r[1]), _mm256_min_ps(r[2], r[3]));
        m = _mm256_min_ps(m, _mm256_permute2f128_ps(m, m, 1));
        m = _mm256_min_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
        m = _mm256_min_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
        for (auto& v : r) v = _mm256_sub_ps(v, m);
    }
    for (; k < n; ++k) decisions[k] = Avx2Step(t, y[k], r);
    for (int i = 0; i < 4; ++i) _mm256_storeu_ps(pmOut + 8 * i, r[i]);
}

} // namespace
#endif

bool Runs(Kernel kernel) {
    switch (kernel) {
    case Kernel::kScalar:
        return true;
#ifdef QUORVANE_VITERBI_X86
    case Kernel::kAvx2:
        return __builtin_cpu_supports("avx2");
    case Kernel::kAvx512:
        return __builtin_cpu_supports("avx512f");
#endif
    default:
        return false;
    }
}

Kernel BestKernel() {
    static const Kernel best = Runs(Kernel::kAvx512) ? Kernel::kAvx512
                               : Runs(Kernel::kAvx2) ? Kernel::kAvx2
                                                     : Kernel::kScalar;
    return best;
}

void ForwardWith(Kernel kernel, const float* y, int n, std::uint32_t* decisions, float* pmOut) {
#ifdef QUORVANE_VITERBI_X86
    if (kernel == Kernel::kAvx512) return ForwardAvx512(y, n, decisions, pmOut);
    if (kernel == Kernel::kAvx2) return ForwardAvx2(y, n, decisions, pmOut);
#endif
    (void)kernel;
    ForwardScalar(y, n, decisions, pmOut);
}

void ForwardPairWith(Kernel kernel, const float* y0, const float* y1, int n, std::uint32_t* d0,
                     std::uint32_t* d1, float* pm0, float* pm1) {
#ifdef QUORVANE_VITERBI_X86
    if (kernel == Kernel::kAvx512) return ForwardAvx512Pair(y0, y1, n, d0, d1, pm0, pm1);
#endif
    ForwardWith(kernel, y0, n, d0, pm0);
    ForwardWith(kernel, y1, n, d1, pm1);
}

} // namespace channel::viterbi_detail
