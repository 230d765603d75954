// The fast forward pass: all 32 add-compare-selects of a step in two 16-lane
// AVX-512 registers, picked at run time; other processors take the scalar
// pass. Each lane does exactly the scalar float operations, so the decisions
// are the same bits.
#include <limits>

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

// Registers hold states 0 ... 15 ("lo", new bit 0) and 16 ... 31 ("hi", new
// bit 1). State j + 16 b has the predecessors 2j and 2j + 1 for both b, so
// one gather of the even and one of the odd old metrics feeds both halves.
struct Avx512Trellis {
    __m512 idealEven0, idealOdd0, idealEven1, idealOdd1;
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
    const __m512 do1 = _mm512_sub_ps(yk, t.idealOdd1);
    const __m512 me0 = _mm512_add_ps(e, _mm512_mul_ps(de0, de0));
    const __m512 mo0 = _mm512_add_ps(o, _mm512_mul_ps(do0, do0));
    const __m512 me1 = _mm512_add_ps(e, _mm512_mul_ps(de1, de1));
    const __m512 mo1 = _mm512_add_ps(o, _mm512_mul_ps(do1, do1));
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

__attribute__((target("avx512f"))) void ForwardAvx512(const float* y, int n,
                                                      std::uint32_t* decisions, float* pmOut) {
    alignas(64) float ideal[4][16];
    alignas(64) std::int32_t evenIdx[16];
    alignas(64) std::int32_t oddIdx[16];
    for (int j = 0; j < 16; ++j) {
        ideal[0][j] = kIdeal[2 * j][0];
        ideal[1][j] = kIdeal[2 * j + 1][0];
        ideal[2][j] = kIdeal[2 * j][1];
        ideal[3][j] = kIdeal[2 * j + 1][1];
        evenIdx[j] = 2 * j;
        oddIdx[j] = 2 * j + 1;
    }
    const Avx512Trellis t{_mm512_load_ps(ideal[0]),   _mm512_load_ps(ideal[1]),
                          _mm512_load_ps(ideal[2]),   _mm512_load_ps(ideal[3]),
                          _mm512_load_si512(evenIdx), _mm512_load_si512(oddIdx)};
    const __m512 inf = _mm512_set1_ps(std::numeric_limits<float>::infinity());
    __m512 lo = _mm512_mask_blend_ps(1, inf, _mm512_setzero_ps());
    __m512 hi = inf;
    int k = 0;
    for (; k + kRenormPeriod <= n; k += kRenormPeriod) {
        for (int i = 0; i < kRenormPeriod; ++i) decisions[k + i] = Avx512Step(t, y[k + i], lo, hi);
        const __m512 low = Avx512Min(lo, hi);
        lo = _mm512_sub_ps(lo, low);
        hi = _mm512_sub_ps(hi, low);
    }
    for (; k < n; ++k) decisions[k] = Avx512Step(t, y[k], lo, hi);
    _mm512_storeu_ps(pmOut, lo);
    _mm512_storeu_ps(pmOut + 16, hi);
}

bool HasAvx512() {
    static const bool has = __builtin_cpu_supports("avx512f");
    return has;
}

} // namespace
#endif

void Forward(const float* y, int n, std::uint32_t* decisions, float* pmOut) {
#ifdef QUORVANE_VITERBI_X86
    if (HasAvx512()) {
        ForwardAvx512(y, n, decisions, pmOut);
        return;
    }
#endif
    ForwardScalar(y, n, decisions, pmOut);
}

} // namespace channel::viterbi_detail
