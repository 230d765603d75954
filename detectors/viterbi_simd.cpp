// The fast forward passes: all add-compare-selects of a step at once, in
// 16-lane AVX-512 or 8-lane AVX2 registers, picked at run time; other
// processors take the scalar pass. Each lane does exactly the scalar float
// operations, so the decisions are the same bits.
//
// Trellises with fewer states than a register has lanes fill the spare lanes
// with copies: lane l works on state l mod S, with that state's predecessors
// and branch outputs, so it computes that state's metric again. The copies
// leave the smallest metric as it is, and their decision bits are dropped.
#include <limits>

#include "detectors/lane_min.h"
#include "detectors/viterbi.h"
#include "detectors/viterbi_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC 12's AVX-512 intrinsics start from _mm512_undefined_ps(), which it then
// reports as "may be used uninitialized" in every function that inlines them
// (GCC bug 105593); the values are always fully defined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_VITERBI_X86 1
#endif

namespace detectors::viterbi_detail {

#ifdef QUORVANE_VITERBI_X86
namespace {

inline int LaneState(const Branches& b, int lane) {
    return lane % b.states;
}
inline int EvenPredecessor(const Branches& b, int t) {
    return 2 * (t & (b.states / 2 - 1));
}
inline std::uint32_t StateMask(const Branches& b) {
    return b.states >= 32 ? ~0u : (1u << b.states) - 1;
}

// ---- AVX-512, 32 states in two registers ----------------------------------
// lo holds states 0 ... 15 (new bit 0), hi states 16 ... 31 (new bit 1). State
// j + 16 b has the predecessors 2j and 2j + 1 for both b, so one gather of the
// even and one of the odd old metrics feeds both halves. When the branch from
// 2j + 1 with new bit 1 has the ideal sample of the branch from 2j with new bit
// 0 (E3PR4: f_0 + f_5 = 0), the two share one branch metric.
struct Avx512Wide {
    __m512 even0, odd0, even1, odd1;
    __m512i even, odd;
};

Avx512Wide __attribute__((target("avx512f"))) MakeWide(const Branches& b) {
    alignas(64) float ideal[4][16];
    alignas(64) std::int32_t evenIdx[16], oddIdx[16];
    for (int j = 0; j < 16; ++j) {
        ideal[0][j] = b.from[0][j];
        ideal[1][j] = b.from[1][j];
        ideal[2][j] = b.from[0][j + 16];
        ideal[3][j] = b.from[1][j + 16];
        evenIdx[j] = 2 * j;
        oddIdx[j] = 2 * j + 1;
    }
    return {_mm512_load_ps(ideal[0]), _mm512_load_ps(ideal[1]),   _mm512_load_ps(ideal[2]),
            _mm512_load_ps(ideal[3]), _mm512_load_si512(evenIdx), _mm512_load_si512(oddIdx)};
}

bool SharesBranchMetric(const Branches& b) {
    for (int j = 0; j < 16; ++j)
        if (b.from[1][j + 16] != b.from[0][j]) return false;
    return true;
}

template <bool kShared>
__attribute__((target("avx512f"), always_inline)) inline std::uint32_t
WideStep(const Avx512Wide& t, float y, __m512& lo, __m512& hi) {
    const __m512 e = _mm512_permutex2var_ps(lo, t.even, hi);
    const __m512 o = _mm512_permutex2var_ps(lo, t.odd, hi);
    const __m512 yk = _mm512_set1_ps(y);
    const __m512 de0 = _mm512_sub_ps(yk, t.even0);
    const __m512 do0 = _mm512_sub_ps(yk, t.odd0);
    const __m512 de1 = _mm512_sub_ps(yk, t.even1);
    const __m512 be0 = _mm512_mul_ps(de0, de0);
    const __m512 me0 = _mm512_add_ps(e, be0);
    const __m512 mo0 = _mm512_add_ps(o, _mm512_mul_ps(do0, do0));
    const __m512 me1 = _mm512_add_ps(e, _mm512_mul_ps(de1, de1));
    __m512 mo1;
    if constexpr (kShared) {
        mo1 = _mm512_add_ps(o, be0);
    } else {
        const __m512 do1 = _mm512_sub_ps(yk, t.odd1);
        mo1 = _mm512_add_ps(o, _mm512_mul_ps(do1, do1));
    }
    // Strictly smaller: a tie keeps the even predecessor, a NaN never wins.
    // min(a, b) is exactly a < b ? a : b, so the survivors need not wait for
    // the decision masks.
    const __mmask16 c0 = _mm512_cmp_ps_mask(mo0, me0, _CMP_LT_OQ);
    const __mmask16 c1 = _mm512_cmp_ps_mask(mo1, me1, _CMP_LT_OQ);
    lo = _mm512_min_ps(mo0, me0);
    hi = _mm512_min_ps(mo1, me1);
    return static_cast<std::uint32_t>(c0) | (static_cast<std::uint32_t>(c1) << 16);
}

// F frames of the same length at once: their steps are independent, so the
// processor overlaps one frame's chain of dependent operations with the
// other's. Every frame sees exactly the operations it would alone.
template <int F, bool kShared>
__attribute__((target("avx512f"), always_inline)) inline void
WideFrames(const Branches& b, const float* const* y, int n, int period, std::uint32_t* decisions,
           int stride, float* const* pmOut) {
    const Avx512Wide t = MakeWide(b);
    const __m512 inf = _mm512_set1_ps(std::numeric_limits<float>::infinity());
    __m512 lo[F], hi[F];
    for (int f = 0; f < F; ++f) {
        lo[f] = _mm512_mask_blend_ps(1, inf, _mm512_setzero_ps());
        hi[f] = inf;
    }
    int k = 0;
    for (; k + period <= n; k += period) {
        for (int i = k; i < k + period; ++i)
            for (int f = 0; f < F; ++f)
                decisions[i * stride + f] = WideStep<kShared>(t, y[f][i], lo[f], hi[f]);
        for (int f = 0; f < F; ++f) {
            const __m512 low = LaneMin(_mm512_min_ps(lo[f], hi[f]));
            lo[f] = _mm512_sub_ps(lo[f], low);
            hi[f] = _mm512_sub_ps(hi[f], low);
        }
    }
    for (; k < n; ++k)
        for (int f = 0; f < F; ++f)
            decisions[k * stride + f] = WideStep<kShared>(t, y[f][k], lo[f], hi[f]);
    for (int f = 0; f < F; ++f) {
        _mm512_storeu_ps(pmOut[f], lo[f]);
        _mm512_storeu_ps(pmOut[f] + 16, hi[f]);
    }
}

// ---- AVX-512, up to 16 states in one register -----------------------------
struct Avx512Narrow {
    __m512 even, odd; // ideal samples of the branches from each lane's predecessors
    __m512i evenIdx, oddIdx;
    std::uint32_t mask;
};

Avx512Narrow __attribute__((target("avx512f"))) MakeNarrow(const Branches& b) {
    alignas(64) float ideal[2][16];
    alignas(64) std::int32_t idx[2][16];
    for (int l = 0; l < 16; ++l) {
        const int t = LaneState(b, l);
        ideal[0][l] = b.from[0][t];
        ideal[1][l] = b.from[1][t];
        idx[0][l] = EvenPredecessor(b, t);
        idx[1][l] = EvenPredecessor(b, t) + 1;
    }
    return {_mm512_load_ps(ideal[0]), _mm512_load_ps(ideal[1]), _mm512_load_si512(idx[0]),
            _mm512_load_si512(idx[1]), StateMask(b)};
}

__attribute__((target("avx512f"), always_inline)) inline std::uint32_t
NarrowStep(const Avx512Narrow& t, float y, __m512& r) {
    const __m512 e = _mm512_permutexvar_ps(t.evenIdx, r);
    const __m512 o = _mm512_permutexvar_ps(t.oddIdx, r);
    const __m512 yk = _mm512_set1_ps(y);
    const __m512 de = _mm512_sub_ps(yk, t.even);
    const __m512 dd = _mm512_sub_ps(yk, t.odd);
    const __m512 me = _mm512_add_ps(e, _mm512_mul_ps(de, de));
    const __m512 mo = _mm512_add_ps(o, _mm512_mul_ps(dd, dd));
    const __mmask16 c = _mm512_cmp_ps_mask(mo, me, _CMP_LT_OQ);
    r = _mm512_min_ps(mo, me);
    return static_cast<std::uint32_t>(c) & t.mask;
}

template <int F>
__attribute__((target("avx512f"), always_inline)) inline void
NarrowFrames(const Branches& b, const float* const* y, int n, int period, std::uint32_t* decisions,
             int stride, float* const* pmOut) {
    const Avx512Narrow t = MakeNarrow(b);
    // State 0 in every lane that copies it.
    alignas(64) float start[16];
    for (int l = 0; l < 16; ++l)
        start[l] = LaneState(b, l) == 0 ? 0.0f : std::numeric_limits<float>::infinity();
    __m512 r[F];
    for (int f = 0; f < F; ++f) r[f] = _mm512_load_ps(start);
    int k = 0;
    for (; k + period <= n; k += period) {
        for (int i = k; i < k + period; ++i)
            for (int f = 0; f < F; ++f) decisions[i * stride + f] = NarrowStep(t, y[f][i], r[f]);
        for (int f = 0; f < F; ++f) r[f] = _mm512_sub_ps(r[f], LaneMin(r[f]));
    }
    for (; k < n; ++k)
        for (int f = 0; f < F; ++f) decisions[k * stride + f] = NarrowStep(t, y[f][k], r[f]);
    for (int f = 0; f < F; ++f) {
        alignas(64) float all[16];
        _mm512_store_ps(all, r[f]);
        for (int s = 0; s < b.states; ++s) pmOut[f][s] = all[s];
    }
}

template <int F>
__attribute__((target("avx512f"))) void Avx512Frames(const Branches& b, const float* const* y,
                                                     int n, int period, std::uint32_t* d,
                                                     int stride, float* const* pm) {
    if (b.states <= 16) return NarrowFrames<F>(b, y, n, period, d, stride, pm);
    if (SharesBranchMetric(b)) return WideFrames<F, true>(b, y, n, period, d, stride, pm);
    WideFrames<F, false>(b, y, n, period, d, stride, pm);
}

// ---- AVX2, R registers of 8 states -----------------------------------------
// R = S / 8 registers hold states 0-7, 8-15, ... New states 8q ... 8q + 7 have
// the new bit b = q / (R/2) and come from the old states 16h ... 16h + 15, h =
// q mod (R/2), that is from the even and the odd lanes of registers 2h and
// 2h + 1. Up to 8 states fit one register, whose lanes gather their
// predecessors by index.
template <int R> struct Avx2Trellis {
    __m256 ideal[R][2]; // [output register][odd predecessor]
    __m256i idx[2];     // R == 1: each lane's even and odd predecessor
    std::uint32_t mask;
};

template <int R> __attribute__((target("avx2"))) Avx2Trellis<R> MakeAvx2(const Branches& b) {
    Avx2Trellis<R> t;
    for (int q = 0; q < R; ++q) {
        for (int j = 0; j < 2; ++j) {
            alignas(32) float lane[8];
            for (int l = 0; l < 8; ++l) lane[l] = b.from[j][LaneState(b, 8 * q + l)];
            t.ideal[q][j] = _mm256_load_ps(lane);
        }
    }
    for (int j = 0; j < 2; ++j) {
        alignas(32) std::int32_t lane[8];
        for (int l = 0; l < 8; ++l) lane[l] = (EvenPredecessor(b, LaneState(b, l)) + j) % 8;
        t.idx[j] = _mm256_load_si256(reinterpret_cast<const __m256i*>(lane));
    }
    t.mask = StateMask(b);
    return t;
}

// The even (odd) lanes of a, then those of b.
__attribute__((target("avx2"), always_inline)) inline __m256 Avx2Lanes(__m256 a, __m256 b,
                                                                       bool odd) {
    const __m256 mixed = odd ? _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))
                             : _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    return _mm256_castpd_ps(
        _mm256_permute4x64_pd(_mm256_castps_pd(mixed), _MM_SHUFFLE(3, 1, 2, 0)));
}

template <int R>
__attribute__((target("avx2"), always_inline)) inline std::uint32_t
Avx2Step(const Avx2Trellis<R>& t, float y, __m256 (&r)[R]) {
    const __m256 yk = _mm256_set1_ps(y);
    __m256 next[R];
    std::uint32_t word = 0;
    for (int q = 0; q < R; ++q) {
        __m256 e, o;
        if constexpr (R == 1) {
            e = _mm256_permutevar8x32_ps(r[0], t.idx[0]);
            o = _mm256_permutevar8x32_ps(r[0], t.idx[1]);
        } else {
            const int h = q % (R / 2);
            e = Avx2Lanes(r[2 * h], r[2 * h + 1], false);
            o = Avx2Lanes(r[2 * h], r[2 * h + 1], true);
        }
        const __m256 de = _mm256_sub_ps(yk, t.ideal[q][0]);
        const __m256 dd = _mm256_sub_ps(yk, t.ideal[q][1]);
        const __m256 me = _mm256_add_ps(e, _mm256_mul_ps(de, de));
        const __m256 mo = _mm256_add_ps(o, _mm256_mul_ps(dd, dd));
        const int lanes = _mm256_movemask_ps(_mm256_cmp_ps(mo, me, _CMP_LT_OQ));
        next[q] = _mm256_min_ps(mo, me);
        word |= static_cast<std::uint32_t>(lanes) << (8 * q);
    }
    for (int q = 0; q < R; ++q) r[q] = next[q];
    return word & t.mask;
}

template <int F, int R>
__attribute__((target("avx2"))) void Avx2Frames(const Branches& b, const float* const* y, int n,
                                                int period, std::uint32_t* decisions, int stride,
                                                float* const* pmOut) {
    const Avx2Trellis<R> t = MakeAvx2<R>(b);
    __m256 r[F][R];
    for (int q = 0; q < R; ++q) {
        alignas(32) float start[8];
        for (int l = 0; l < 8; ++l)
            start[l] = LaneState(b, 8 * q + l) == 0 ? 0.0f : std::numeric_limits<float>::infinity();
        for (int f = 0; f < F; ++f) r[f][q] = _mm256_load_ps(start);
    }
    int k = 0;
    for (; k + period <= n; k += period) {
        for (int i = k; i < k + period; ++i)
            for (int f = 0; f < F; ++f) decisions[i * stride + f] = Avx2Step<R>(t, y[f][i], r[f]);
        for (int f = 0; f < F; ++f) {
            __m256 m = r[f][0];
            for (int q = 1; q < R; ++q) m = _mm256_min_ps(m, r[f][q]);
            m = _mm256_min_ps(m, _mm256_permute2f128_ps(m, m, 1));
            m = _mm256_min_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
            m = _mm256_min_ps(m, _mm256_shuffle_ps(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
            for (auto& v : r[f]) v = _mm256_sub_ps(v, m);
        }
    }
    for (; k < n; ++k)
        for (int f = 0; f < F; ++f) decisions[k * stride + f] = Avx2Step<R>(t, y[f][k], r[f]);
    for (int f = 0; f < F; ++f) {
        alignas(32) float all[8 * R];
        for (int q = 0; q < R; ++q) _mm256_store_ps(all + 8 * q, r[f][q]);
        for (int s = 0; s < b.states; ++s) pmOut[f][s] = all[s];
    }
}

template <int F>
void Avx2FramesOf(const Branches& b, const float* const* y, int n, int period, std::uint32_t* d,
                  int stride, float* const* pm) {
    if (b.states <= 8) return Avx2Frames<F, 1>(b, y, n, period, d, stride, pm);
    if (b.states == 16) return Avx2Frames<F, 2>(b, y, n, period, d, stride, pm);
    Avx2Frames<F, 4>(b, y, n, period, d, stride, pm);
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

void ForwardFramesWith(Kernel kernel, const Branches& b, int frames, const float* const* y,
                       int steps, int period, std::uint32_t* decisions, int stride,
                       float* const* pmOut) {
    // The frames in groups of 8, 4, 2 and 1 (AVX2: of at most 4, as its 16
    // registers hold no more).
    int f = 0;
#ifdef QUORVANE_VITERBI_X86
    if (kernel == Kernel::kAvx512) {
        for (; f + 8 <= frames && b.states <= 16; f += 8)
            Avx512Frames<8>(b, y + f, steps, period, decisions + f, stride, pmOut + f);
        for (; f + 4 <= frames; f += 4)
            Avx512Frames<4>(b, y + f, steps, period, decisions + f, stride, pmOut + f);
        for (; f + 2 <= frames; f += 2)
            Avx512Frames<2>(b, y + f, steps, period, decisions + f, stride, pmOut + f);
        for (; f < frames; ++f)
            Avx512Frames<1>(b, y + f, steps, period, decisions + f, stride, pmOut + f);
        return;
    }
    if (kernel == Kernel::kAvx2) {
        for (; f + 4 <= frames; f += 4)
            Avx2FramesOf<4>(b, y + f, steps, period, decisions + f, stride, pmOut + f);
        for (; f + 2 <= frames; f += 2)
            Avx2FramesOf<2>(b, y + f, steps, period, decisions + f, stride, pmOut + f);
        for (; f < frames; ++f)
            Avx2FramesOf<1>(b, y + f, steps, period, decisions + f, stride, pmOut + f);
        return;
    }
#endif
    (void)kernel;
    for (; f < frames; ++f) ForwardScalar(b, y[f], steps, period, decisions + f, stride, pmOut[f]);
}

void ForwardWith(Kernel kernel, const Branches& b, const float* y, int steps,
                 std::uint32_t* decisions, float* pmOut) {
    ForwardFramesWith(kernel, b, 1, &y, steps, kRenormPeriod, decisions, 1, &pmOut);
}

} // namespace detectors::viterbi_detail
