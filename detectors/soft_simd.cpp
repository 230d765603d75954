// Frames side by side, one in each lane of a vector register: no shuffles
// between lanes. The recursions (detectors/soft_simd_kernel.inc) are written
// once over a few vector operations and compiled twice, for AVX2 (eight
// lanes) and for AVX-512 (sixteen); the frames are interleaved and their
// ratios taken apart by register transposes of the kernel's width (8 x 8 in
// AVX2, 16 x 16 in AVX-512). maxlog's lanes do the plain detector's
// operations (a > b ? a : b is exactly a vector max, a < b ? a : b exactly a
// vector min, -h a flip of the sign bit).
//
// The trellis is walked by butterflies: old states 2i and 2i + 1 lead to new
// states i (bit 0) and i + S/2 (bit 1) over four branches, so each step reads
// every state's metric once. The forward metrics of step k + 1 are stored
// as computed; forward step k + 1 subtracts their largest as it reads them
// (the plain version's one subtraction, so the same floats) and stores them
// back normalised, which the backward pass reads. The backward pass walks
// the butterflies grouped by their states' parities so that each extrinsic
// term goes to its sum without a blend.
#include "detectors/soft_simd.h"

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>

#include "detectors/lane_ops.h"
// GCC 12's AVX-512 intrinsics start from _mm512_undefined_ps(), which it then
// reports as "may be used uninitialized" in every function that inlines them
// (GCC bug 105593); the values are always fully defined.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_SOFT_X86 1
#endif

#include <algorithm>
#include <cassert>
#include <cstdint>

#include "detectors/soft_maxstar.h"

namespace detectors {

#ifdef QUORVANE_SOFT_X86

bool SoftLanesRun(LaneKernel kernel) {
    static const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    static const bool avx512 =
        avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    return kernel == LaneKernel::kAvx512 ? avx512 : avx2;
}

bool SoftLanesRun() {
    return SoftLanesRun(LaneKernel::kAvx2);
}

LaneKernel BestLaneKernel() {
    return SoftLanesRun(LaneKernel::kAvx512) ? LaneKernel::kAvx512 : LaneKernel::kAvx2;
}

namespace {

constexpr int kMaxHalf = (1 << kMaxLaneMemory) / 2;

// Butterfly i's branches: (b, 2i + j) in bits 16 (2b + j) ... 16 (2b + j) +
// 15, as offsets (in pairs of floats) into the step's metrics per class
// (back) and, with a-priori ratios, per class and raw bit (forth), of
// `lanes` floats each: one load a butterfly instead of four (on E3PR4 the
// loads of the offsets were about a seventh of maxlog's time), each
// offset taken out with a shift and a mask. A state's parity p(s) is the
// raw bit of its branch of bit 0 (raw = bit ^ p(s)).
// back lists the butterflies by the parities of their old states (class
// 2 p(2i) + p(2i + 1)): classes[c] ... classes[c + 1] - 1, each with the
// offset (in floats) of its new state i in a row, so that the backward step
// reads it instead of computing it from i; those of new state i + S/2 and
// of old states 2i and 2i + 1 follow from it with a constant and a scale.
struct BackButterfly {
    int new0;
    std::uint64_t g;
};
struct Butterflies {
    std::uint64_t forth[kMaxHalf];
    BackButterfly back[kMaxHalf];
    int classes[5];
};

Butterflies MakeButterflies(const SoftTrellis& t, const LaneMetrics& m, bool apriori, int lanes) {
    Butterflies bf{};
    const int M = t.memory, H = t.states / 2;
    // The largest offset, in pairs of floats, has 16 bits.
    assert(2 * m.classes * lanes / 2 <= 0xffff);
    int back[kMaxHalf][4];
    for (int i = 0; i < H; ++i)
        for (int b = 0; b < 2; ++b)
            for (int j = 0; j < 2; ++j) {
                const std::size_t w = static_cast<std::size_t>((b << M) | (2 * i + j));
                const int c = m.classOf[w];
                back[i][2 * b + j] = c * lanes;
                bf.forth[i] |=
                    static_cast<std::uint64_t>((apriori ? 2 * c + t.raw[w] : c) * lanes / 2)
                    << (16 * (2 * b + j));
            }
    int next = 0;
    for (int c = 0; c < 4; ++c) {
        bf.classes[c] = next;
        for (int i = 0; i < H; ++i)
            if (2 * t.raw[static_cast<std::size_t>(2 * i)] +
                    t.raw[static_cast<std::size_t>(2 * i + 1)] ==
                c) {
                BackButterfly& r = bf.back[next++];
                r.new0 = i * lanes;
                for (int k = 0; k < 4; ++k)
                    r.g |= static_cast<std::uint64_t>(back[i][k] / 2) << (16 * k);
            }
    }
    bf.classes[4] = next;
    return bf;
}

// The rows of forward metrics go beyond the second-level cache on the larger
// trellises: each is asked for kAhead steps before it is written (forward)
// or read (backward), a line at a time. On eight states and fewer the
// hardware's own prefetching keeps up, and asking costs more than it saves
// (measured on EPR4). Each row's lines are asked for one after another,
// unrolled: as a loop, its counting took about a twentieth of maxlog's time
// on E3PR4.
constexpr int kAhead = 8;
constexpr std::size_t kLineFloats = 64 / sizeof(float);

template <std::size_t kRow, bool kWrite>
__attribute__((always_inline)) inline void Prefetch(const float* row) {
#pragma GCC unroll 64
    for (std::size_t line = 0; line < kRow / kLineFloats; ++line)
        __builtin_prefetch(row + line * kLineFloats, kWrite ? 1 : 0, 3);
}

// The floats to skip from p to the next 64-byte boundary.
inline std::size_t AlignPad(const float* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return ((64 - address % 64) % 64) / sizeof(float);
}

} // namespace

// Each kernel's recursions (detectors/lane_ops.h).
#pragma GCC push_options
#pragma GCC target("avx2,fma")
namespace lanes_avx2 {
namespace {
using V = lane_ops::Avx2;
#include "detectors/soft_simd_kernel.inc"
} // namespace
} // namespace lanes_avx2
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx512f,avx512dq,avx2,fma")
namespace lanes_avx512 {
namespace {
using V = lane_ops::Avx512;
#include "detectors/soft_simd_kernel.inc"
} // namespace
} // namespace lanes_avx512
#pragma GCC pop_options

namespace {

// v[i] lane j becomes v[j] lane i.
__attribute__((target("avx2,fma"), always_inline)) inline void Transpose(__m256 (&v)[8]) {
    __m256 t[8], u[8];
    for (std::size_t i = 0; i < 8; i += 2) {
        t[i] = _mm256_unpacklo_ps(v[i], v[i + 1]);
        t[i + 1] = _mm256_unpackhi_ps(v[i], v[i + 1]);
    }
    for (std::size_t i = 0; i < 8; i += 4) {
        u[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
        u[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
        u[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
        u[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        v[i] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x20);
        v[i + 4] = _mm256_permute2f128_ps(u[i], u[i + 4], 0x31);
    }
}

// rows[l][k] into x[k * lanes + l] for l < lanes (a multiple of eight) and
// k < steps, eight lanes of eight steps at a time.
__attribute__((target("avx2,fma"))) void Interleave(const float* const* rows, std::size_t lanes,
                                                    int steps, float* x) {
    int k = 0;
    for (; k + 8 <= steps; k += 8)
        for (std::size_t b = 0; b < lanes; b += 8) {
            __m256 v[8];
            for (std::size_t l = 0; l < 8; ++l) v[l] = _mm256_loadu_ps(rows[b + l] + k);
            Transpose(v);
            for (std::size_t j = 0; j < 8; ++j)
                _mm256_storeu_ps(x + (static_cast<std::size_t>(k) + j) * lanes + b, v[j]);
        }
    for (; k < steps; ++k)
        for (std::size_t l = 0; l < lanes; ++l)
            x[static_cast<std::size_t>(k) * lanes + l] = rows[l][k];
}

// The steps' inputs in place of the interleaved samples x (`lanes` a step):
// clamped (the scalar Clamp's operations), less their prediction from the
// clamped samples c when there are taps (summed as the plain whitening sums
// the errors: p_0 first, then each older term added).
__attribute__((target("avx2,fma"))) void Inputs(const SoftTrellis& t, const LaneMetrics& m,
                                                std::size_t lanes, int steps, float* x, float* c) {
    const __m256 lo = _mm256_set1_ps(t.low), hi = _mm256_set1_ps(t.high);
    const int P = static_cast<int>(m.taps.size());
    const std::size_t all = static_cast<std::size_t>(steps) * lanes;
    for (std::size_t at = 0; at < all; at += 8) {
        const int k = static_cast<int>(at / lanes);
        float* xk = x + at;
        const __m256 v = _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(xk), lo), hi);
        if (P == 0) {
            _mm256_storeu_ps(xk, v);
            continue;
        }
        _mm256_storeu_ps(c + at, v);
        if (k == 0) {
            _mm256_storeu_ps(xk, v);
            continue;
        }
        __m256 pred = _mm256_setzero_ps();
        for (int i = 0; i < P && k - 1 - i >= 0; ++i) {
            const __m256 term =
                _mm256_mul_ps(_mm256_set1_ps(m.taps[static_cast<std::size_t>(i)]),
                              _mm256_loadu_ps(c + at - static_cast<std::size_t>(1 + i) * lanes));
            pred = i == 0 ? term : _mm256_add_ps(pred, term);
        }
        _mm256_storeu_ps(xk, _mm256_sub_ps(v, pred));
    }
}

// x[k * lanes + f] into rows[f][k] for f < count and k < steps.
__attribute__((target("avx2,fma"))) void Deinterleave(const float* x, std::size_t lanes, int steps,
                                                      int count, float* const* rows) {
    int k = 0;
    for (; k + 8 <= steps; k += 8)
        for (std::size_t b = 0; b < lanes && static_cast<int>(b) < count; b += 8) {
            __m256 v[8];
            for (std::size_t j = 0; j < 8; ++j)
                v[j] = _mm256_loadu_ps(x + (static_cast<std::size_t>(k) + j) * lanes + b);
            Transpose(v);
            for (std::size_t f = 0; f < 8 && static_cast<int>(b + f) < count; ++f)
                _mm256_storeu_ps(rows[b + f] + k, v[f]);
        }
    for (; k < steps; ++k)
        for (int f = 0; f < count; ++f)
            rows[f][k] = x[static_cast<std::size_t>(k) * lanes + static_cast<std::size_t>(f)];
}

// v[i] lane j becomes v[j] lane i, sixteen of sixteen.
__attribute__((target("avx512f"), always_inline)) inline void Transpose(__m512 (&v)[16]) {
    __m512 t[16];
    for (std::size_t i = 0; i < 16; i += 2) {
        t[i] = _mm512_unpacklo_ps(v[i], v[i + 1]);
        t[i + 1] = _mm512_unpackhi_ps(v[i], v[i + 1]);
    }
    for (std::size_t i = 0; i < 16; i += 4) {
        v[i] = _mm512_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
        v[i + 1] = _mm512_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
        v[i + 2] = _mm512_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
        v[i + 3] = _mm512_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
    }
    for (std::size_t i = 0; i < 16; i += 8)
        for (std::size_t j = 0; j < 4; ++j) {
            t[i + j] = _mm512_shuffle_f32x4(v[i + j], v[i + j + 4], 0x88);
            t[i + j + 4] = _mm512_shuffle_f32x4(v[i + j], v[i + j + 4], 0xdd);
        }
    for (std::size_t j = 0; j < 8; ++j) {
        v[j] = _mm512_shuffle_f32x4(t[j], t[j + 8], 0x88);
        v[j + 8] = _mm512_shuffle_f32x4(t[j], t[j + 8], 0xdd);
    }
}

// Interleave and Deinterleave of sixteen lanes in AVX-512, sixteen steps at
// a time (two AVX2 transposes side by side took twice the loads and stores).
__attribute__((target("avx512f"))) void Interleave16(const float* const* rows, int steps,
                                                     float* x) {
    int k = 0;
    for (; k + 16 <= steps; k += 16) {
        __m512 v[16];
        for (std::size_t l = 0; l < 16; ++l) v[l] = _mm512_loadu_ps(rows[l] + k);
        Transpose(v);
        for (std::size_t j = 0; j < 16; ++j)
            _mm512_storeu_ps(x + (static_cast<std::size_t>(k) + j) * 16, v[j]);
    }
    for (; k < steps; ++k)
        for (std::size_t l = 0; l < 16; ++l) x[static_cast<std::size_t>(k) * 16 + l] = rows[l][k];
}

__attribute__((target("avx512f"))) void Deinterleave16(const float* x, int steps, int count,
                                                       float* const* rows) {
    int k = 0;
    for (; k + 16 <= steps; k += 16) {
        __m512 v[16];
        for (std::size_t j = 0; j < 16; ++j)
            v[j] = _mm512_loadu_ps(x + (static_cast<std::size_t>(k) + j) * 16);
        Transpose(v);
        for (int f = 0; f < count; ++f)
            _mm512_storeu_ps(rows[f] + k, v[static_cast<std::size_t>(f)]);
    }
    for (; k < steps; ++k)
        for (int f = 0; f < count; ++f)
            rows[f][k] = x[static_cast<std::size_t>(k) * 16 + static_cast<std::size_t>(f)];
}

void Interleave(LaneKernel kernel, const float* const* rows, std::size_t lanes, int steps,
                float* x) {
    if (kernel == LaneKernel::kAvx512)
        Interleave16(rows, steps, x);
    else
        Interleave(rows, lanes, steps, x);
}

void Deinterleave(LaneKernel kernel, const float* x, std::size_t lanes, int steps, int count,
                  float* const* rows) {
    if (kernel == LaneKernel::kAvx512)
        Deinterleave16(x, steps, count, rows);
    else
        Deinterleave(x, lanes, steps, count, rows);
}

} // namespace

void SoftLanes(LaneKernel kernel, const SoftTrellis& t, const LaneMetrics& m, bool exact,
               float factor, int count, const float* const* y, int n, int tail,
               const float* const* la, float* const* e, SoftLaneScratch& s) {
    const int steps = n + tail;
    // No samples: no ratios (and no row of forward metrics to normalise).
    if (steps <= 0) return;
    const std::size_t lanes = static_cast<std::size_t>(LaneWidth(kernel));
    assert(SoftLanesRun(kernel) && count >= 1 && count <= static_cast<int>(lanes));
    assert(t.memory >= 1 && t.memory <= kMaxLaneMemory);
    assert(static_cast<int>(m.classOf.size()) == t.Branches());
    s.y.resize(static_cast<std::size_t>(steps) * lanes);
    s.e.resize(static_cast<std::size_t>(n) * lanes);
    // Lanes past count repeat frame 0, and their ratios are dropped.
    const float* rows[kMaxSoftLanes];
    for (std::size_t l = 0; l < lanes; ++l) rows[l] = y[static_cast<int>(l) < count ? l : 0];
    Interleave(kernel, rows, lanes, steps, s.y.data());
    if (!m.taps.empty()) s.clamped.resize(s.y.size());
    Inputs(t, m, lanes, steps, s.y.data(), s.clamped.data());
    if (la != nullptr) {
        s.la.resize(static_cast<std::size_t>(n) * lanes);
        for (std::size_t l = 0; l < lanes; ++l) rows[l] = la[static_cast<int>(l) < count ? l : 0];
        Interleave(kernel, rows, lanes, n, s.la.data());
    }
    if (kernel == LaneKernel::kAvx512)
        lanes_avx512::Run(t, m, exact, la != nullptr, factor, n, steps, tail > 0, s);
    else
        lanes_avx2::Run(t, m, exact, la != nullptr, factor, n, steps, tail > 0, s);
    Deinterleave(kernel, s.e.data(), lanes, n, count, e);
}

__attribute__((target("avx2,fma"))) void LaneDecisions(int n, const float* e, const float* la,
                                                       std::uint8_t* raw) {
    const __m256 zero = _mm256_setzero_ps();
    const __m256i one = _mm256_set1_epi32(1);
    // packs interleave the 128-bit halves: this puts the 32 bytes back in order.
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int k = 0;
    for (; k + 32 <= n; k += 32) {
        __m256i b[4];
        for (int j = 0; j < 4; ++j) {
            __m256 x = _mm256_loadu_ps(e + k + 8 * j);
            if (la != nullptr) x = _mm256_add_ps(x, _mm256_loadu_ps(la + k + 8 * j));
            b[j] = _mm256_and_si256(_mm256_castps_si256(_mm256_cmp_ps(x, zero, _CMP_LT_OQ)), one);
        }
        const __m256i w =
            _mm256_packs_epi16(_mm256_packs_epi32(b[0], b[1]), _mm256_packs_epi32(b[2], b[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(raw + k),
                            _mm256_permutevar8x32_epi32(w, order));
    }
    for (; k < n; ++k) raw[k] = (la != nullptr ? e[k] + la[k] : e[k]) < 0 ? 1 : 0;
}

#else

void LaneDecisions(int n, const float* e, const float* la, std::uint8_t* raw) {
    for (int k = 0; k < n; ++k) raw[k] = (la != nullptr ? e[k] + la[k] : e[k]) < 0 ? 1 : 0;
}

bool SoftLanesRun(LaneKernel) {
    return false;
}

bool SoftLanesRun() {
    return false;
}

LaneKernel BestLaneKernel() {
    return LaneKernel::kAvx2;
}

void SoftLanes(LaneKernel, const SoftTrellis&, const LaneMetrics&, bool, float, int,
               const float* const*, int, int, const float* const*, float* const*,
               SoftLaneScratch&) {}

#endif

LaneMetrics LevelLaneMetrics(const SoftTrellis& t) {
    LaneMetrics m;
    m.classes = static_cast<int>(t.levels.size());
    m.classOf = t.levelIndex;
    m.constants = t.levels;
    return m;
}

} // namespace detectors
