// Eight frames side by side, one in each lane of an AVX2 register: no
// shuffles between lanes. maxlog's lanes do the plain detector's operations
// (a > b ? a : b is exactly _mm256_max_ps(a, b), a < b ? a : b exactly
// _mm256_min_ps(a, b), -h a flip of the sign bit).
//
// The trellis is walked by butterflies: old states 2i and 2i + 1 lead to new
// states i (bit 0) and i + S/2 (bit 1) over four branches, so each step reads
// every state's metric once. The forward metrics of step k + 1 are stored
// once, as computed, and their largest beside them; the forward step k + 1
// and the backward pass each subtract it while reading them (the plain
// version's one subtraction, done where the value is used), and the
// backward pass walks the butterflies grouped by their states' parities so
// that each extrinsic term goes to its sum without a blend.
#include "detectors/soft_simd.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUORVANE_SOFT_X86 1
#endif

#include <algorithm>
#include <cassert>
#include <cstdint>

#include "detectors/soft_maxstar.h"

namespace detectors {

#ifdef QUORVANE_SOFT_X86

bool SoftLanesRun() {
    static const bool runs = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return runs;
}

namespace {

constexpr std::size_t kL = kSoftLanes;
constexpr int kMaxHalf = (1 << kMaxLaneMemory) / 2;

// Butterfly i's branches: (b, 2i + j) at [2b + j], as offsets (in floats)
// into the step's metrics per class (back) and, with a-priori ratios, per
// class and raw bit (forth). A state's parity p(s) is the raw bit of its
// branch of bit 0 (raw = bit ^ p(s)).
// order lists the butterflies by the parities of their old states (class
// 2 p(2i) + p(2i + 1)): classes[c] ... classes[c + 1] - 1.
struct Butterflies {
    int forth[kMaxHalf][4];
    int back[kMaxHalf][4];
    int order[kMaxHalf];
    int classes[5];
};

Butterflies MakeButterflies(const SoftTrellis& t, const LaneMetrics& m, bool apriori) {
    Butterflies bf{};
    const int M = t.memory;
    for (int i = 0; i < t.states / 2; ++i)
        for (int b = 0; b < 2; ++b)
            for (int j = 0; j < 2; ++j) {
                const std::size_t w = static_cast<std::size_t>((b << M) | (2 * i + j));
                const int c = m.classOf[w];
                bf.back[i][2 * b + j] = c * static_cast<int>(kL);
                bf.forth[i][2 * b + j] = (apriori ? 2 * c + t.raw[w] : c) * static_cast<int>(kL);
            }
    int next = 0;
    for (int c = 0; c < 4; ++c) {
        bf.classes[c] = next;
        for (int i = 0; i < t.states / 2; ++i)
            if (2 * t.raw[static_cast<std::size_t>(2 * i)] +
                    t.raw[static_cast<std::size_t>(2 * i + 1)] ==
                c)
                bf.order[next++] = i;
    }
    bf.classes[4] = next;
    return bf;
}

// max, as maxlog joins.
struct MaxJoin {
    __attribute__((target("avx2,fma"), always_inline)) static inline __m256 Two(__m256 a,
                                                                                __m256 b) {
        return _mm256_max_ps(a, b);
    }
};

// max*, as the vector bcjr joins: max(a, b) + MaxStarCorrection(|a - b|)
// with the same float operations.
struct MaxStarJoin {
    __attribute__((target("avx2,fma"), always_inline)) static inline __m256 Two(__m256 a,
                                                                                __m256 b) {
        const __m256 m = _mm256_max_ps(a, b);
        const __m256 d = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(a, b));
        const __m256 x = _mm256_min_ps(d, _mm256_set1_ps(kMaxStarTop));
        const __m256i i = _mm256_srli_epi32(
            _mm256_castps_si256(_mm256_add_ps(x, _mm256_set1_ps(kMaxStarShift))), 21);
        const __m256 c =
            _mm256_fmadd_ps(_mm256_fmadd_ps(Piece(2, i), x, Piece(1, i)), x, Piece(0, i));
        return _mm256_add_ps(m, c);
    }
    // Coefficient j of each lane's piece.
    __attribute__((target("avx2,fma"), always_inline)) static inline __m256 Piece(int j,
                                                                                  __m256i i) {
        return _mm256_permutevar8x32_ps(_mm256_loadu_ps(kMaxStarPiece[j]), i);
    }
};

// Step k's classes' metrics into gl and, with a-priori ratios, each class's
// metric plus the half ratio of raw bit 0 and of raw bit 1 into glr; returns
// the half ratio (0 in the tail). s.y holds the steps' inputs x_k.
template <bool kApriori>
__attribute__((target("avx2,fma"), always_inline)) inline __m256
Prepare(const LaneMetrics& m, const SoftLaneScratch& s, __m256 f, int k, int n, float* gl,
        float* glr) {
    const int L = m.classes;
    const float* c = m.constants.data() + static_cast<std::size_t>(std::min(k, m.tables - 1)) *
                                              static_cast<std::size_t>(L);
    const __m256 x = _mm256_loadu_ps(s.y.data() + static_cast<std::size_t>(k) * kL);
    for (int i = 0; i < L; ++i) {
        const __m256 d = _mm256_sub_ps(x, _mm256_set1_ps(c[i]));
        _mm256_storeu_ps(gl + static_cast<std::size_t>(i) * kL,
                         _mm256_mul_ps(_mm256_mul_ps(d, d), f));
    }
    __m256 h = _mm256_setzero_ps();
    if constexpr (kApriori) {
        if (k < n)
            h = _mm256_mul_ps(_mm256_loadu_ps(s.la.data() + static_cast<std::size_t>(k) * kL),
                              _mm256_set1_ps(0.5f));
        const __m256 nh = _mm256_xor_ps(h, _mm256_set1_ps(-0.0f));
        for (int i = 0; i < L; ++i) {
            const __m256 g = _mm256_loadu_ps(gl + static_cast<std::size_t>(i) * kL);
            _mm256_storeu_ps(glr + static_cast<std::size_t>(2 * i) * kL, _mm256_add_ps(g, h));
            _mm256_storeu_ps(glr + static_cast<std::size_t>(2 * i + 1) * kL, _mm256_add_ps(g, nh));
        }
    }
    return h;
}

// One forward step: the metrics a as computed (top subtracted while
// reading: the normalised ones) into the new ones' as computed; returns
// their largest.
template <int M, class J>
__attribute__((target("avx2,fma"), always_inline)) inline __m256
Forth(const Butterflies& bf, const float* g, __m256 top, const float* a, float* next) {
    constexpr int H = 1 << (M - 1);
    __m256 t0 = _mm256_set1_ps(-__builtin_huge_valf()), t1 = t0;
    for (int i = 0; i < H; ++i) {
        const float* p = a + static_cast<std::size_t>(2 * i) * kL;
        const __m256 a0 = _mm256_sub_ps(_mm256_loadu_ps(p), top);
        const __m256 a1 = _mm256_sub_ps(_mm256_loadu_ps(p + kL), top);
        const int* o = bf.forth[i];
        const __m256 v0 = J::Two(_mm256_add_ps(a0, _mm256_loadu_ps(g + o[0])),
                                 _mm256_add_ps(a1, _mm256_loadu_ps(g + o[1])));
        const __m256 v1 = J::Two(_mm256_add_ps(a0, _mm256_loadu_ps(g + o[2])),
                                 _mm256_add_ps(a1, _mm256_loadu_ps(g + o[3])));
        _mm256_storeu_ps(next + static_cast<std::size_t>(i) * kL, v0);
        _mm256_storeu_ps(next + static_cast<std::size_t>(i + H) * kL, v1);
        t0 = _mm256_max_ps(t0, v0);
        t1 = _mm256_max_ps(t1, v1);
    }
    return _mm256_max_ps(t0, t1);
}

// The butterflies order[from] ... order[to - 1] of one backward step, whose
// old states 2i and 2i + 1 have the parities P0 and P1 (raw bit 0 on the
// branch of bit Pj): their new metrics into nb, their largest into t0 and
// t1, with kSums the extrinsic terms into sum[raw][j].
template <int M, bool kApriori, bool kSums, class J, int P0, int P1>
__attribute__((target("avx2,fma"), always_inline)) inline void
BackClass(const Butterflies& bf, int from, int to, const float* gl, __m256 h, __m256 nh,
          const float* a, __m256 aTop, __m256 top, const float* beta, float* nb,
          __m256 (&sum)[2][2], __m256& t0, __m256& t1) {
    constexpr int H = 1 << (M - 1);
    for (int x = from; x < to; ++x) {
        const int i = bf.order[x];
        const __m256 b0 =
            _mm256_sub_ps(_mm256_loadu_ps(beta + static_cast<std::size_t>(i) * kL), top);
        const __m256 b1 =
            _mm256_sub_ps(_mm256_loadu_ps(beta + static_cast<std::size_t>(i + H) * kL), top);
        const int* o = bf.back[i];
        for (int j = 0; j < 2; ++j) {
            const int s = 2 * i + j;
            const bool p = (j == 0 ? P0 : P1) != 0;
            const __m256 qm0 = _mm256_add_ps(b0, _mm256_loadu_ps(gl + o[j]));
            const __m256 qm1 = _mm256_add_ps(b1, _mm256_loadu_ps(gl + o[2 + j]));
            __m256 q0 = qm0, q1 = qm1;
            if constexpr (kApriori) {
                q0 = _mm256_add_ps(qm0, p ? nh : h);
                q1 = _mm256_add_ps(qm1, p ? h : nh);
            }
            if constexpr (kSums) {
                const __m256 as =
                    _mm256_sub_ps(_mm256_loadu_ps(a + static_cast<std::size_t>(s) * kL), aTop);
                const __m256 x0 = _mm256_add_ps(qm0, as), x1 = _mm256_add_ps(qm1, as);
                sum[p][j] = J::Two(sum[p][j], x0);
                sum[!p][j] = J::Two(sum[!p][j], x1);
            }
            const __m256 v = J::Two(q0, q1);
            _mm256_storeu_ps(nb + static_cast<std::size_t>(s) * kL, v);
            if (j == 0)
                t0 = _mm256_max_ps(t0, v);
            else
                t1 = _mm256_max_ps(t1, v);
        }
    }
}

// One backward step from beta (top subtracted while reading) into nb as
// computed; with kSums the extrinsic ratio into e, from the forward metrics
// a (aTop subtracted while reading). Returns nb's largest.
template <int M, bool kApriori, bool kSums, class J>
__attribute__((target("avx2,fma"), always_inline)) inline __m256
Back(const Butterflies& bf, const float* gl, __m256 h, const float* a, __m256 aTop, __m256 top,
     const float* beta, float* nb, float* e) {
    const __m256 nh = _mm256_xor_ps(h, _mm256_set1_ps(-0.0f)), none = _mm256_set1_ps(kImpossible);
    __m256 t0 = _mm256_set1_ps(-__builtin_huge_valf()), t1 = t0;
    // Two banks of sums (by the parity of state 2i), so that each chain of
    // joins is half as long.
    __m256 sum[2][2] = {{none, none}, {none, none}}, other[2][2] = {{none, none}, {none, none}};
    const int* c = bf.classes;
    BackClass<M, kApriori, kSums, J, 0, 0>(bf, c[0], c[1], gl, h, nh, a, aTop, top, beta, nb, sum,
                                           t0, t1);
    BackClass<M, kApriori, kSums, J, 0, 1>(bf, c[1], c[2], gl, h, nh, a, aTop, top, beta, nb, sum,
                                           t0, t1);
    BackClass<M, kApriori, kSums, J, 1, 0>(bf, c[2], c[3], gl, h, nh, a, aTop, top, beta, nb, other,
                                           t0, t1);
    BackClass<M, kApriori, kSums, J, 1, 1>(bf, c[3], c[4], gl, h, nh, a, aTop, top, beta, nb, other,
                                           t0, t1);
    if constexpr (kSums) {
        const __m256 s0 = J::Two(J::Two(sum[0][0], sum[0][1]), J::Two(other[0][0], other[0][1]));
        const __m256 s1 = J::Two(J::Two(sum[1][0], sum[1][1]), J::Two(other[1][0], other[1][1]));
        _mm256_storeu_ps(e, _mm256_sub_ps(s0, s1));
    }
    return _mm256_max_ps(t0, t1);
}

// The rows of forward metrics go beyond the second-level cache on the larger
// trellises: each is asked for kAhead steps before it is written (forward)
// or read (backward), a line at a time. On eight states and fewer the
// hardware's own prefetching keeps up, and asking costs more than it saves
// (measured on EPR4).
constexpr int kAhead = 8;

template <int S, bool kWrite>
__attribute__((always_inline)) inline void Prefetch(const float* row) {
    for (int line = 0; line < S / 2; ++line)
        __builtin_prefetch(row + static_cast<std::size_t>(line) * 2 * kL, kWrite ? 1 : 0, 3);
}

// The floats to skip from p to the next 64-byte boundary.
inline std::size_t AlignPad(const float* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return ((64 - address % 64) % 64) / sizeof(float);
}

template <int M, bool kApriori, class J>
__attribute__((target("avx2,fma"))) void Kernel(const SoftTrellis& t, const LaneMetrics& m,
                                                float factor, int n, int steps, bool tail,
                                                SoftLaneScratch& s) {
    constexpr int S = 1 << M;
    constexpr std::size_t row = static_cast<std::size_t>(S) * kL;
    const int L = m.classes;
    const Butterflies bf = MakeButterflies(t, m, kApriori);
    const __m256 f = _mm256_set1_ps(factor);
    s.levels.resize(static_cast<std::size_t>(3 * L) * kL);
    float* gl = s.levels.data();
    float* glr = gl + static_cast<std::size_t>(L) * kL;
    // The rows start on cache lines (kL floats are half of one), so that a
    // row is read and written in whole lines.
    s.alpha.resize(static_cast<std::size_t>(steps + 2) * row + 2 * kL);
    float* const alpha = s.alpha.data() + AlignPad(s.alpha.data());
    for (int tt = 0; tt < S; ++tt)
        _mm256_storeu_ps(alpha + static_cast<std::size_t>(tt) * kL,
                         _mm256_set1_ps(tt == 0 ? 0.0f : kImpossible));
    // Row k is stored as computed and normalised by tops[k] where read (the
    // first is normalised already: subtracting 0 leaves it as it is).
    s.tops.resize(static_cast<std::size_t>(steps) * kL);
    float* const tops = s.tops.data();
    __m256 top = _mm256_setzero_ps();
    for (int k = 0; k + 1 < steps; ++k) {
        Prepare<kApriori>(m, s, f, k, n, gl, glr);
        float* a = alpha + static_cast<std::size_t>(k) * row;
        if (S > 8 && k + 1 + kAhead < steps)
            Prefetch<S, true>(a + static_cast<std::size_t>(1 + kAhead) * row);
        _mm256_storeu_ps(tops + static_cast<std::size_t>(k) * kL, top);
        top = Forth<M, J>(bf, kApriori ? glr : gl, top, a, a + row);
    }
    _mm256_storeu_ps(tops + static_cast<std::size_t>(steps - 1) * kL, top);
    float* beta = alpha + static_cast<std::size_t>(steps) * row;
    float* nb = beta + row;
    for (int src = 0; src < S; ++src)
        _mm256_storeu_ps(beta + static_cast<std::size_t>(src) * kL,
                         _mm256_set1_ps(!tail || src < t.endStates ? 0.0f : kImpossible));
    top = _mm256_setzero_ps();
    for (int k = steps - 1; k >= 0; --k) {
        const __m256 h = Prepare<kApriori>(m, s, f, k, n, gl, glr);
        const float* a = alpha + static_cast<std::size_t>(k) * row;
        if (S > 8 && k >= kAhead) Prefetch<S, false>(a - static_cast<std::size_t>(kAhead) * row);
        const __m256 aTop = _mm256_loadu_ps(tops + static_cast<std::size_t>(k) * kL);
        if (k < n)
            top = Back<M, kApriori, true, J>(bf, gl, h, a, aTop, top, beta, nb,
                                             s.e.data() + static_cast<std::size_t>(k) * kL);
        else
            top = Back<M, kApriori, false, J>(bf, gl, h, a, aTop, top, beta, nb, nullptr);
        std::swap(beta, nb);
    }
}

template <int M>
void KernelOf(const SoftTrellis& t, const LaneMetrics& m, bool exact, bool apriori, float factor,
              int n, int steps, bool tail, SoftLaneScratch& s) {
    if (exact) {
        if (apriori)
            Kernel<M, true, MaxStarJoin>(t, m, factor, n, steps, tail, s);
        else
            Kernel<M, false, MaxStarJoin>(t, m, factor, n, steps, tail, s);
    } else {
        if (apriori)
            Kernel<M, true, MaxJoin>(t, m, factor, n, steps, tail, s);
        else
            Kernel<M, false, MaxJoin>(t, m, factor, n, steps, tail, s);
    }
}

// The steps' inputs of one frame into lane l of x: the clamped samples, less
// their prediction when there are taps (summed as the plain whitening sums
// the errors: p_0 first, then each older term added).
void Inputs(const SoftTrellis& t, const LaneMetrics& m, const float* y, int steps, std::size_t l,
            std::vector<float>& yc, float* x) {
    yc.resize(static_cast<std::size_t>(steps));
    for (int k = 0; k < steps; ++k) yc[static_cast<std::size_t>(k)] = Clamp(y[k], t.low, t.high);
    const int P = static_cast<int>(m.taps.size());
    for (int k = 0; k < steps; ++k) {
        float v = yc[static_cast<std::size_t>(k)];
        if (P > 0 && k >= 1) {
            float pred = m.taps[0] * yc[static_cast<std::size_t>(k - 1)];
            for (int i = 1; i < P && k - 1 - i >= 0; ++i)
                pred = pred + m.taps[static_cast<std::size_t>(i)] *
                                  yc[static_cast<std::size_t>(k - 1 - i)];
            v = v - pred;
        }
        x[static_cast<std::size_t>(k) * kL + l] = v;
    }
}

} // namespace

void SoftLanes(const SoftTrellis& t, const LaneMetrics& m, bool exact, float factor, int count,
               const float* const* y, int n, int tail, const float* const* la, float* const* e,
               SoftLaneScratch& s) {
    const int steps = n + tail;
    // No samples: no ratios (and no row of forward metrics to normalise).
    if (steps <= 0) return;
    assert(t.memory >= 1 && t.memory <= kMaxLaneMemory);
    assert(static_cast<int>(m.classOf.size()) == t.Branches());
    s.y.resize(static_cast<std::size_t>(steps) * kL);
    s.e.resize(static_cast<std::size_t>(n) * kL);
    // Lanes past count repeat frame 0, and their ratios are dropped.
    for (std::size_t l = 0; l < kL; ++l)
        Inputs(t, m, y[static_cast<int>(l) < count ? l : 0], steps, l, s.clamped, s.y.data());
    if (la != nullptr) {
        s.la.resize(static_cast<std::size_t>(n) * kL);
        for (std::size_t l = 0; l < kL; ++l) {
            const float* ll = la[static_cast<int>(l) < count ? l : 0];
            for (int k = 0; k < n; ++k) s.la[static_cast<std::size_t>(k) * kL + l] = ll[k];
        }
    }
    const bool apriori = la != nullptr;
    switch (t.memory) {
    case 1:
        KernelOf<1>(t, m, exact, apriori, factor, n, steps, tail > 0, s);
        break;
    case 2:
        KernelOf<2>(t, m, exact, apriori, factor, n, steps, tail > 0, s);
        break;
    case 3:
        KernelOf<3>(t, m, exact, apriori, factor, n, steps, tail > 0, s);
        break;
    case 4:
        KernelOf<4>(t, m, exact, apriori, factor, n, steps, tail > 0, s);
        break;
    case 5:
        KernelOf<5>(t, m, exact, apriori, factor, n, steps, tail > 0, s);
        break;
    case 6:
        KernelOf<6>(t, m, exact, apriori, factor, n, steps, tail > 0, s);
        break;
    case 7:
        KernelOf<7>(t, m, exact, apriori, factor, n, steps, tail > 0, s);
        break;
    default:
        KernelOf<8>(t, m, exact, apriori, factor, n, steps, tail > 0, s);
        break;
    }
    for (int f = 0; f < count; ++f)
        for (int k = 0; k < n; ++k)
            e[f][k] = s.e[static_cast<std::size_t>(k) * kL + static_cast<std::size_t>(f)];
}

#else

bool SoftLanesRun() {
    return false;
}

void SoftLanes(const SoftTrellis&, const LaneMetrics&, bool, float, int, const float* const*, int,
               int, const float* const*, float* const*, SoftLaneScratch&) {}

#endif

LaneMetrics LevelLaneMetrics(const SoftTrellis& t) {
    LaneMetrics m;
    m.classes = static_cast<int>(t.levels.size());
    m.classOf = t.levelIndex;
    m.constants = t.levels;
    return m;
}

} // namespace detectors
