#pragma once
// The vector operations the lane kernels are written over
// (detectors/soft_simd_kernel.inc, detectors/sova_simd_kernel.inc): one
// struct a kernel, compiled for its instructions, kLanes frames side by side.
// A file of kernels is included once in a region compiled for each kernel's
// instructions (#pragma GCC target), with V one of these: a template over
// them could not be given each kernel's target (GCC will not inline an AVX
// intrinsic into a function compiled without AVX, even one only ever inlined
// into an AVX one). x86 and GCC only. Internal to detectors/.
//
// AbsMin(d, top) is min(|d|, top) for top > 0; PieceIndex the bits that pick
// a piece of the max* correction (detectors/soft_maxstar.h: its low three
// bits), Piece(j, i) coefficient j of those pieces: AVX-512's lookups take
// the low four bits, so its table holds the eight pieces twice and both
// halves give piece i mod 8. Blend(a, b, m) is b where m holds, else a;
// SignMask(a) all ones where a's sign bit is set.
#include <immintrin.h>

#include <cstddef>

#include "detectors/soft_maxstar.h"

namespace detectors::lane_ops {

#pragma GCC push_options
#pragma GCC target("avx2,fma")
struct Avx2 {
    using T = __m256;
    using Mask = __m256;
    static constexpr std::size_t kLanes = 8;
    static inline T Load(const float* p) { return _mm256_loadu_ps(p); }
    static inline void Store(float* p, T a) { _mm256_storeu_ps(p, a); }
    static inline T Set(float a) { return _mm256_set1_ps(a); }
    static inline T Add(T a, T b) { return _mm256_add_ps(a, b); }
    static inline T Sub(T a, T b) { return _mm256_sub_ps(a, b); }
    static inline T Mul(T a, T b) { return _mm256_mul_ps(a, b); }
    static inline T Max(T a, T b) { return _mm256_max_ps(a, b); }
    static inline T Min(T a, T b) { return _mm256_min_ps(a, b); }
    static inline T Fmadd(T a, T b, T c) { return _mm256_fmadd_ps(a, b, c); }
    static inline T Fnmadd(T a, T b, T c) { return _mm256_fnmadd_ps(a, b, c); }
    static inline T Xor(T a, T b) { return _mm256_xor_ps(a, b); }
    static inline T Or(T a, T b) { return _mm256_or_ps(a, b); }
    static inline T And(T a, T b) { return _mm256_and_ps(a, b); }
    static inline T AndNot(T a, T b) { return _mm256_andnot_ps(a, b); }
    static inline T Negate(T a) { return _mm256_xor_ps(a, _mm256_set1_ps(-0.0f)); }
    static inline T SignMask(T a) {
        return _mm256_castsi256_ps(_mm256_srai_epi32(_mm256_castps_si256(a), 31));
    }
    static inline Mask Greater(T a, T b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static inline T Blend(T a, T b, Mask m) { return _mm256_blendv_ps(a, b, m); }
    static inline T AbsMin(T d, float top) {
        return _mm256_min_ps(_mm256_andnot_ps(_mm256_set1_ps(-0.0f), d), _mm256_set1_ps(top));
    }
    static inline __m256i PieceIndex(T a) { return _mm256_srli_epi32(_mm256_castps_si256(a), 21); }
    static inline T Piece(int j, __m256i i) {
        return _mm256_permutevar8x32_ps(_mm256_loadu_ps(kMaxStarPiece[j]), i);
    }
};
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx2,fma")
struct Avx512 {
    using T = __m512;
    using Mask = __mmask16;
    static constexpr std::size_t kLanes = 16;
    static inline T Load(const float* p) { return _mm512_loadu_ps(p); }
    static inline void Store(float* p, T a) { _mm512_storeu_ps(p, a); }
    static inline T Set(float a) { return _mm512_set1_ps(a); }
    static inline T Add(T a, T b) { return _mm512_add_ps(a, b); }
    static inline T Sub(T a, T b) { return _mm512_sub_ps(a, b); }
    static inline T Mul(T a, T b) { return _mm512_mul_ps(a, b); }
    static inline T Max(T a, T b) { return _mm512_max_ps(a, b); }
    static inline T Min(T a, T b) { return _mm512_min_ps(a, b); }
    static inline T Fmadd(T a, T b, T c) { return _mm512_fmadd_ps(a, b, c); }
    static inline T Fnmadd(T a, T b, T c) { return _mm512_fnmadd_ps(a, b, c); }
    static inline T Xor(T a, T b) { return _mm512_xor_ps(a, b); }
    static inline T Or(T a, T b) { return _mm512_or_ps(a, b); }
    static inline T And(T a, T b) { return _mm512_and_ps(a, b); }
    static inline T AndNot(T a, T b) { return _mm512_andnot_ps(a, b); }
    static inline T Negate(T a) { return _mm512_xor_ps(a, _mm512_set1_ps(-0.0f)); }
    static inline T SignMask(T a) {
        return _mm512_castsi512_ps(_mm512_srai_epi32(_mm512_castps_si512(a), 31));
    }
    static inline Mask Greater(T a, T b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    static inline T Blend(T a, T b, Mask m) { return _mm512_mask_blend_ps(m, a, b); }
    // One instruction: the smaller magnitude, its sign cleared (imm 0b1010).
    static inline T AbsMin(T d, float top) { return _mm512_range_ps(d, _mm512_set1_ps(top), 10); }
    static inline __m512i PieceIndex(T a) { return _mm512_srli_epi32(_mm512_castps_si512(a), 21); }
    static inline T Piece(int j, __m512i i) {
        return _mm512_permutexvar_ps(i, _mm512_broadcast_f32x8(_mm256_loadu_ps(kMaxStarPiece[j])));
    }
};
#pragma GCC pop_options

} // namespace detectors::lane_ops
