// The frame decoders' kernels: AVX-512 (F and BW) and AVX2, each for 8-bit,
// 16-bit and float messages, one frame per lane. frames_kernel.inc holds the
// loops; the structs here say what each step is in each register type. The
// integer magnitudes are unsigned (|-128| = 128 fits an unsigned byte), and
// g(m) is capped at rmax before a sign goes on.
#include <cstddef>
#include <cstdint>

#include "codes/decoder.h"
#include "codes/frames_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC 12's AVX-512 intrinsics start from _mm512_undefined_*(), which it then
// reports as "may be used uninitialized" (GCC bug 105593).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_CODES_X86 1
#endif

namespace codes::frames_detail {

#ifdef QUORVANE_CODES_X86

#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")
namespace avx512 {

struct I8 {
    using T = std::int8_t;
    using V = __m512i;
    using S = __m512i; // the sign bits
    static constexpr int kLanes = 64;
    struct K {
        V top, cap, a16, offset, low, eight;
    };
    static K Make(const Plan& p) {
        return {_mm512_set1_epi8(-128),          _mm512_set1_epi8(char(p.rmax)),
                _mm512_set1_epi16(short(p.a16)), _mm512_set1_epi8(char(p.offset)),
                _mm512_set1_epi16(0x00FF),       _mm512_set1_epi16(8)};
    }
    static V Load(const T* p) { return _mm512_load_si512(p); }
    static void Store(T* p, V v) { _mm512_store_si512(p, v); }
    static V Sub(V a, V b) { return _mm512_subs_epi8(a, b); }
    static V Add(V a, V b) { return _mm512_adds_epi8(a, b); }
    static V Abs(V a) { return _mm512_abs_epi8(a); }
    static V Min(V a, V b) { return _mm512_min_epu8(a, b); }
    static V Max(V a, V b) { return _mm512_max_epu8(a, b); }
    static S NoSign() { return _mm512_setzero_si512(); }
    static S Sign(V a) { return a; }
    static S SignXor(S a, S b) { return _mm512_xor_si512(a, b); }
    static S Or(S a, S b) { return _mm512_or_si512(a, b); }
    static std::uint64_t LaneBits(S s) { return _mm512_movepi8_mask(s); }
    template <bool kOffset> static V G(V m, const K& k) {
        if constexpr (kOffset) return _mm512_min_epu8(_mm512_subs_epu8(m, k.offset), k.cap);
        // (m a + 8) >> 4 on the even and the odd bytes as 16-bit lanes.
        const V even = _mm512_and_si512(m, k.low), odd = _mm512_srli_epi16(m, 8);
        const V ge =
            _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(even, k.a16), k.eight), 4);
        const V go =
            _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(odd, k.a16), k.eight), 4);
        return _mm512_min_epu8(_mm512_or_si512(ge, _mm512_slli_epi16(go, 8)), k.cap);
    }
    static V Pick(V a, V m1, V g1, V g2) {
        return _mm512_mask_blend_epi8(_mm512_cmpeq_epi8_mask(a, m1), g1, g2);
    }
    static V ApplySign(V mag, S s) {
        return _mm512_mask_sub_epi8(mag, _mm512_movepi8_mask(s), _mm512_setzero_si512(), mag);
    }
};

struct I16 {
    using T = std::int16_t;
    using V = __m512i;
    using S = __m512i;
    static constexpr int kLanes = 32;
    struct K {
        V top, cap, b, offset;
        bool whole; // a = 16: g(m) = min(m, rmax)
    };
    static K Make(const Plan& p) {
        return {_mm512_set1_epi16(-32768), _mm512_set1_epi16(short(p.rmax)),
                _mm512_set1_epi16(short(p.a16 << 12)), _mm512_set1_epi16(short(p.offset)),
                p.a16 == 16};
    }
    static V Load(const T* p) { return _mm512_load_si512(p); }
    static void Store(T* p, V v) { _mm512_store_si512(p, v); }
    static V Sub(V a, V b) { return _mm512_subs_epi16(a, b); }
    static V Add(V a, V b) { return _mm512_adds_epi16(a, b); }
    static V Abs(V a) { return _mm512_abs_epi16(a); }
    static V Min(V a, V b) { return _mm512_min_epu16(a, b); }
    static V Max(V a, V b) { return _mm512_max_epu16(a, b); }
    static S NoSign() { return _mm512_setzero_si512(); }
    static S Sign(V a) { return a; }
    static S SignXor(S a, S b) { return _mm512_xor_si512(a, b); }
    static S Or(S a, S b) { return _mm512_or_si512(a, b); }
    static std::uint64_t LaneBits(S s) { return _mm512_movepi16_mask(s); }
    template <bool kOffset> static V G(V m, const K& k) {
        if constexpr (kOffset) return _mm512_min_epu16(_mm512_subs_epu16(m, k.offset), k.cap);
        if (k.whole) return _mm512_min_epu16(m, k.cap);
        // (m a + 8) >> 4 = the high half of m (a << 12) plus its bit 15.
        const V high = _mm512_mulhi_epu16(m, k.b);
        const V round = _mm512_srli_epi16(_mm512_mullo_epi16(m, k.b), 15);
        return _mm512_min_epu16(_mm512_add_epi16(high, round), k.cap);
    }
    static V Pick(V a, V m1, V g1, V g2) {
        return _mm512_mask_blend_epi16(_mm512_cmpeq_epi16_mask(a, m1), g1, g2);
    }
    static V ApplySign(V mag, S s) {
        return _mm512_mask_sub_epi16(mag, _mm512_movepi16_mask(s), _mm512_setzero_si512(), mag);
    }
};

struct F32 {
    using T = float;
    using V = __m512;
    using S = std::uint32_t; // lanes whose value is < 0
    static constexpr int kLanes = 16;
    struct K {
        V top, alpha, beta, zero;
    };
    static K Make(const Plan& p) {
        return {_mm512_set1_ps(p.top), _mm512_set1_ps(p.alpha), _mm512_set1_ps(p.beta),
                _mm512_setzero_ps()};
    }
    static V Load(const T* p) { return _mm512_load_ps(p); }
    static void Store(T* p, V v) { _mm512_store_ps(p, v); }
    static V Sub(V a, V b) { return _mm512_sub_ps(a, b); }
    static V Add(V a, V b) { return _mm512_add_ps(a, b); }
    static V Abs(V a) {
        return _mm512_castsi512_ps(
            _mm512_and_si512(_mm512_castps_si512(a), _mm512_set1_epi32(0x7FFFFFFF)));
    }
    static V Min(V a, V b) { return _mm512_min_ps(a, b); }
    static V Max(V a, V b) { return _mm512_max_ps(a, b); }
    static S NoSign() { return 0; }
    static S Sign(V a) { return _mm512_cmp_ps_mask(a, _mm512_setzero_ps(), _CMP_LT_OQ); }
    static S SignXor(S a, S b) { return a ^ b; }
    static S Or(S a, S b) { return a | b; }
    static std::uint64_t LaneBits(S s) { return s; }
    template <bool kOffset> static V G(V m, const K& k) {
        // max(d, 0) is d > 0 ? d : 0, as the scalar decoder has it.
        if constexpr (kOffset) return _mm512_max_ps(_mm512_sub_ps(m, k.beta), k.zero);
        return _mm512_mul_ps(k.alpha, m);
    }
    static V Pick(V a, V m1, V g1, V g2) {
        return _mm512_mask_blend_ps(_mm512_cmp_ps_mask(a, m1, _CMP_EQ_OQ), g1, g2);
    }
    static V ApplySign(V mag, S s) {
        const __m512i bits = _mm512_castps_si512(mag);
        return _mm512_castsi512_ps(
            _mm512_mask_xor_epi32(bits, __mmask16(s), bits, _mm512_set1_epi32(INT32_MIN)));
    }
};

#include "codes/frames_kernel.inc"

// QuantizeRow's steps on 16 ratios at once: NaN to 0, clipped to
// +-kMaxRatio, then (unless `clean`) scaled, clipped to +-cap and rounded by
// adding and taking away 1.5 * 2^23. min_ps(x, c) is x < c ? x : c and
// max_ps(x, c) x > c ? x : c, the scalar comparisons' values.
template <bool kClean> __m512 Input(const float* x, __mmask16 m, __m512 scale, __m512 cap) {
    const __m512 lim = _mm512_set1_ps(kMaxRatio), neg = _mm512_set1_ps(-kMaxRatio);
    __m512 v = _mm512_maskz_loadu_ps(m, x);
    v = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(v, v, _CMP_ORD_Q), v);
    v = _mm512_max_ps(_mm512_min_ps(v, lim), neg);
    if constexpr (kClean) return v;
    v = _mm512_mul_ps(v, scale);
    v = _mm512_max_ps(_mm512_min_ps(v, cap), _mm512_sub_ps(_mm512_setzero_ps(), cap));
    const __m512 magic = _mm512_set1_ps(12582912.0f);
    return _mm512_sub_ps(_mm512_add_ps(v, magic), magic);
}

template <int kBytes> void Quantize(const float* x, int n, float scale, float cap, void* out) {
    const __m512 s = _mm512_set1_ps(scale), c = _mm512_set1_ps(cap);
    for (int i = 0; i < n; i += 16) {
        const __mmask16 m = n - i >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << (n - i)) - 1);
        if constexpr (kBytes == 4) {
            _mm512_mask_storeu_ps(static_cast<float*>(out) + i, m, Input<true>(x + i, m, s, c));
        } else {
            const __m512i q = _mm512_cvttps_epi32(Input<false>(x + i, m, s, c));
            if constexpr (kBytes == 1)
                _mm512_mask_cvtepi32_storeu_epi8(static_cast<std::int8_t*>(out) + i, m, q);
            else
                _mm512_mask_cvtepi32_storeu_epi16(static_cast<std::int16_t*>(out) + i, m, q);
        }
    }
}

} // namespace avx512
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {

// The sign of each lane kept as the vector itself; applying it negates mag
// where it is negative (_mm256_sign_* with the sign word made nonzero).
struct I8 {
    using T = std::int8_t;
    using V = __m256i;
    using S = __m256i;
    static constexpr int kLanes = 32;
    struct K {
        V top, cap, a16, offset, low, eight, one;
    };
    static K Make(const Plan& p) {
        return {_mm256_set1_epi8(-128),
                _mm256_set1_epi8(char(p.rmax)),
                _mm256_set1_epi16(short(p.a16)),
                _mm256_set1_epi8(char(p.offset)),
                _mm256_set1_epi16(0x00FF),
                _mm256_set1_epi16(8),
                _mm256_set1_epi8(1)};
    }
    static V Load(const T* p) { return _mm256_load_si256(reinterpret_cast<const V*>(p)); }
    static void Store(T* p, V v) { _mm256_store_si256(reinterpret_cast<V*>(p), v); }
    static V Sub(V a, V b) { return _mm256_subs_epi8(a, b); }
    static V Add(V a, V b) { return _mm256_adds_epi8(a, b); }
    static V Abs(V a) { return _mm256_abs_epi8(a); }
    static V Min(V a, V b) { return _mm256_min_epu8(a, b); }
    static V Max(V a, V b) { return _mm256_max_epu8(a, b); }
    static S NoSign() { return _mm256_setzero_si256(); }
    static S Sign(V a) { return a; }
    static S SignXor(S a, S b) { return _mm256_xor_si256(a, b); }
    static S Or(S a, S b) { return _mm256_or_si256(a, b); }
    static std::uint64_t LaneBits(S s) { return std::uint32_t(_mm256_movemask_epi8(s)); }
    template <bool kOffset> static V G(V m, const K& k) {
        if constexpr (kOffset) return _mm256_min_epu8(_mm256_subs_epu8(m, k.offset), k.cap);
        const V even = _mm256_and_si256(m, k.low), odd = _mm256_srli_epi16(m, 8);
        const V ge =
            _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(even, k.a16), k.eight), 4);
        const V go =
            _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(odd, k.a16), k.eight), 4);
        return _mm256_min_epu8(_mm256_or_si256(ge, _mm256_slli_epi16(go, 8)), k.cap);
    }
    static V Pick(V a, V m1, V g1, V g2) {
        return _mm256_blendv_epi8(g1, g2, _mm256_cmpeq_epi8(a, m1));
    }
    static V ApplySign(V mag, S s) {
        return _mm256_sign_epi8(mag, _mm256_or_si256(s, _mm256_set1_epi8(1)));
    }
};

struct I16 {
    using T = std::int16_t;
    using V = __m256i;
    using S = __m256i;
    static constexpr int kLanes = 16;
    struct K {
        V top, cap, b, offset;
        bool whole;
    };
    static K Make(const Plan& p) {
        return {_mm256_set1_epi16(-32768), _mm256_set1_epi16(short(p.rmax)),
                _mm256_set1_epi16(short(p.a16 << 12)), _mm256_set1_epi16(short(p.offset)),
                p.a16 == 16};
    }
    static V Load(const T* p) { return _mm256_load_si256(reinterpret_cast<const V*>(p)); }
    static void Store(T* p, V v) { _mm256_store_si256(reinterpret_cast<V*>(p), v); }
    static V Sub(V a, V b) { return _mm256_subs_epi16(a, b); }
    static V Add(V a, V b) { return _mm256_adds_epi16(a, b); }
    static V Abs(V a) { return _mm256_abs_epi16(a); }
    static V Min(V a, V b) { return _mm256_min_epu16(a, b); }
    static V Max(V a, V b) { return _mm256_max_epu16(a, b); }
    static S NoSign() { return _mm256_setzero_si256(); }
    static S Sign(V a) { return a; }
    static S SignXor(S a, S b) { return _mm256_xor_si256(a, b); }
    static S Or(S a, S b) { return _mm256_or_si256(a, b); }
    static std::uint64_t LaneBits(S s) {
        // Two mask bits per 16-bit lane; the high byte's is the sign.
        const std::uint32_t bytes = std::uint32_t(_mm256_movemask_epi8(s));
        std::uint64_t lanes = 0;
        for (int i = 0; i < 16; ++i) lanes |= std::uint64_t((bytes >> (2 * i + 1)) & 1) << i;
        return lanes;
    }
    template <bool kOffset> static V G(V m, const K& k) {
        if constexpr (kOffset) return _mm256_min_epu16(_mm256_subs_epu16(m, k.offset), k.cap);
        if (k.whole) return _mm256_min_epu16(m, k.cap);
        const V high = _mm256_mulhi_epu16(m, k.b);
        const V round = _mm256_srli_epi16(_mm256_mullo_epi16(m, k.b), 15);
        return _mm256_min_epu16(_mm256_add_epi16(high, round), k.cap);
    }
    static V Pick(V a, V m1, V g1, V g2) {
        return _mm256_blendv_epi8(g1, g2, _mm256_cmpeq_epi16(a, m1));
    }
    static V ApplySign(V mag, S s) {
        return _mm256_sign_epi16(mag, _mm256_or_si256(s, _mm256_set1_epi16(1)));
    }
};

struct F32 {
    using T = float;
    using V = __m256;
    using S = __m256; // all ones in lanes whose value is < 0
    static constexpr int kLanes = 8;
    struct K {
        V top, alpha, beta, zero;
    };
    static K Make(const Plan& p) {
        return {_mm256_set1_ps(p.top), _mm256_set1_ps(p.alpha), _mm256_set1_ps(p.beta),
                _mm256_setzero_ps()};
    }
    static V Load(const T* p) { return _mm256_load_ps(p); }
    static void Store(T* p, V v) { _mm256_store_ps(p, v); }
    static V Sub(V a, V b) { return _mm256_sub_ps(a, b); }
    static V Add(V a, V b) { return _mm256_add_ps(a, b); }
    static V Abs(V a) {
        return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
    }
    static V Min(V a, V b) { return _mm256_min_ps(a, b); }
    static V Max(V a, V b) { return _mm256_max_ps(a, b); }
    static S NoSign() { return _mm256_setzero_ps(); }
    static S Sign(V a) { return _mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_LT_OQ); }
    static S SignXor(S a, S b) { return _mm256_xor_ps(a, b); }
    static S Or(S a, S b) { return _mm256_or_ps(a, b); }
    static std::uint64_t LaneBits(S s) { return std::uint32_t(_mm256_movemask_ps(s)); }
    template <bool kOffset> static V G(V m, const K& k) {
        if constexpr (kOffset) return _mm256_max_ps(_mm256_sub_ps(m, k.beta), k.zero);
        return _mm256_mul_ps(k.alpha, m);
    }
    static V Pick(V a, V m1, V g1, V g2) {
        return _mm256_blendv_ps(g1, g2, _mm256_cmp_ps(a, m1, _CMP_EQ_OQ));
    }
    static V ApplySign(V mag, S s) {
        return _mm256_xor_ps(mag,
                             _mm256_and_ps(s, _mm256_castsi256_ps(_mm256_set1_epi32(INT32_MIN))));
    }
};

#include "codes/frames_kernel.inc"

} // namespace avx2
#pragma GCC pop_options

KernelSet Avx512Kernels(int arithmetic) {
    switch (arithmetic) {
    case 0:
        return {avx512::I8::kLanes, &avx512::Iterate<avx512::I8>, &avx512::Syndrome<avx512::I8>,
                &avx512::Quantize<1>};
    case 1:
        return {avx512::I16::kLanes, &avx512::Iterate<avx512::I16>, &avx512::Syndrome<avx512::I16>,
                &avx512::Quantize<2>};
    default:
        return {avx512::F32::kLanes, &avx512::Iterate<avx512::F32>, &avx512::Syndrome<avx512::F32>,
                &avx512::Quantize<4>};
    }
}
KernelSet Avx2Kernels(int arithmetic) {
    switch (arithmetic) {
    case 0:
        return {avx2::I8::kLanes, &avx2::Iterate<avx2::I8>, &avx2::Syndrome<avx2::I8>};
    case 1:
        return {avx2::I16::kLanes, &avx2::Iterate<avx2::I16>, &avx2::Syndrome<avx2::I16>};
    default:
        return {avx2::F32::kLanes, &avx2::Iterate<avx2::F32>, &avx2::Syndrome<avx2::F32>};
    }
}
bool HasAvx512() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}
bool HasAvx2() {
    return __builtin_cpu_supports("avx2");
}

#else

KernelSet Avx512Kernels(int) {
    return {};
}
KernelSet Avx2Kernels(int) {
    return {};
}
bool HasAvx512() {
    return false;
}
bool HasAvx2() {
    return false;
}

#endif

} // namespace codes::frames_detail
