// Eight frames side by side, one in each lane of an AVX2 register: no
// shuffles between lanes, and each lane's operations are the plain
// detector's, in its order (a > b ? a : b is exactly _mm256_max_ps(a, b),
// a < b ? a : b exactly _mm256_min_ps(a, b), -h a flip of the sign bit).
#include "detectors/soft_simd.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUORVANE_SOFT_X86 1
#endif

namespace detectors {

#ifdef QUORVANE_SOFT_X86

bool SoftLanesRun() {
    static const bool runs = __builtin_cpu_supports("avx2");
    return runs;
}

namespace {

constexpr std::size_t kL = kSoftLanes;

// Step k's levels' metrics into gl and, with a-priori ratios, each level's
// metric plus the half ratio of raw bit 0 and of raw bit 1 into glr; h gets
// the half ratios.
template <bool kApriori>
__attribute__((target("avx2"), always_inline)) inline __m256
Prepare(const SoftTrellis& t, const SoftLaneScratch& s, __m256 f, int k, int n, float* gl,
        float* glr) {
    const int L = static_cast<int>(t.levels.size());
    const __m256 lo = _mm256_set1_ps(t.low), hi = _mm256_set1_ps(t.high);
    const __m256 yk = _mm256_loadu_ps(s.y.data() + static_cast<std::size_t>(k) * kL);
    const __m256 yc = _mm256_min_ps(_mm256_max_ps(yk, lo), hi);
    for (int i = 0; i < L; ++i) {
        const __m256 d = _mm256_sub_ps(yc, _mm256_set1_ps(t.levels[static_cast<std::size_t>(i)]));
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

template <bool kApriori>
__attribute__((target("avx2"))) void MaxlogKernel(const SoftTrellis& t, float factor, int n,
                                                  int steps, bool tail, SoftLaneScratch& s) {
    const int S = t.states, M = t.memory, L = static_cast<int>(t.levels.size());
    const std::size_t SS = static_cast<std::size_t>(S);
    const __m256 f = _mm256_set1_ps(factor), sign = _mm256_set1_ps(-0.0f),
                 zero = _mm256_setzero_ps();
    s.levels.resize(static_cast<std::size_t>(3 * L) * kL);
    float* gl = s.levels.data();
    float* glr = gl + static_cast<std::size_t>(L) * kL;
    // The forward pass's branch of each state's predecessor j, as an offset
    // into glr (or gl), and the backward pass's for b.
    std::vector<int> fw[2], fs[2], bw[2], braw[2];
    for (int j = 0; j < 2; ++j) {
        for (int tt = 0; tt < S; ++tt) {
            const int b = tt >> (M - 1), src = t.Predecessor(tt, j);
            const std::size_t w = static_cast<std::size_t>((b << M) | src);
            fw[j].push_back(kApriori ? (2 * t.levelIndex[w] + t.raw[w]) * 8 : t.levelIndex[w] * 8);
            fs[j].push_back(src * 8);
        }
        for (int src = 0; src < S; ++src) {
            const std::size_t w = static_cast<std::size_t>((j << M) | src);
            bw[j].push_back(t.levelIndex[w] * 8);
            braw[j].push_back(t.raw[w]);
        }
    }
    std::vector<int> nextOf[2];
    for (int b = 0; b < 2; ++b)
        for (int src = 0; src < S; ++src) nextOf[b].push_back(t.Next(src, b) * 8);
    s.alpha.resize(static_cast<std::size_t>(steps + 2) * SS * kL);
    float* const work = s.alpha.data() + static_cast<std::size_t>(steps) * SS * kL;
    float* a = s.alpha.data();
    for (int tt = 0; tt < S; ++tt)
        _mm256_storeu_ps(a + static_cast<std::size_t>(tt) * kL,
                         _mm256_set1_ps(tt == 0 ? 0.0f : kImpossible));
    const float* const table = kApriori ? glr : gl;
    for (int k = 0; k + 1 < steps; ++k) {
        Prepare<kApriori>(t, s, f, k, n, gl, glr);
        float* next = a + SS * kL;
        __m256 top = _mm256_setzero_ps();
        for (int tt = 0; tt < S; ++tt) {
            const __m256 c0 =
                _mm256_add_ps(_mm256_loadu_ps(a + fs[0][tt]), _mm256_loadu_ps(table + fw[0][tt]));
            const __m256 c1 =
                _mm256_add_ps(_mm256_loadu_ps(a + fs[1][tt]), _mm256_loadu_ps(table + fw[1][tt]));
            const __m256 v = _mm256_max_ps(c0, c1);
            top = tt == 0 ? v : _mm256_max_ps(v, top);
            _mm256_storeu_ps(next + static_cast<std::size_t>(tt) * kL, v);
        }
        for (int tt = 0; tt < S; ++tt) {
            float* p = next + static_cast<std::size_t>(tt) * kL;
            _mm256_storeu_ps(p, _mm256_sub_ps(_mm256_loadu_ps(p), top));
        }
        a = next;
    }
    // The backward pass, beta in two rows of work.
    float* beta = work;
    float* nb = work + SS * kL;
    for (int src = 0; src < S; ++src)
        _mm256_storeu_ps(beta + static_cast<std::size_t>(src) * kL,
                         _mm256_set1_ps(!tail || src < t.endStates ? 0.0f : kImpossible));
    for (int k = steps - 1; k >= 0; --k) {
        const __m256 h = Prepare<kApriori>(t, s, f, k, n, gl, glr);
        const float* ak = s.alpha.data() + static_cast<std::size_t>(k) * SS * kL;
        __m256 sum[2] = {_mm256_set1_ps(kImpossible), _mm256_set1_ps(kImpossible)};
        __m256 hs[2] = {zero, zero};
        if constexpr (kApriori) hs[0] = h, hs[1] = _mm256_xor_ps(h, sign);
        __m256 top = _mm256_setzero_ps();
        for (int src = 0; src < S; ++src) {
            const __m256 as = _mm256_loadu_ps(ak + static_cast<std::size_t>(src) * kL);
            __m256 q[2];
            for (int b = 0; b < 2; ++b) {
                const __m256 qm = _mm256_add_ps(_mm256_loadu_ps(beta + nextOf[b][src]),
                                                _mm256_loadu_ps(gl + bw[b][src]));
                q[b] = kApriori ? _mm256_add_ps(qm, hs[braw[b][src]]) : qm;
                if (k < n) {
                    __m256& into = sum[braw[b][src]];
                    into = _mm256_max_ps(into, _mm256_add_ps(qm, as));
                }
            }
            const __m256 v = _mm256_max_ps(q[0], q[1]);
            top = src == 0 ? v : _mm256_max_ps(v, top);
            _mm256_storeu_ps(nb + static_cast<std::size_t>(src) * kL, v);
        }
        if (k < n)
            _mm256_storeu_ps(s.e.data() + static_cast<std::size_t>(k) * kL,
                             _mm256_sub_ps(sum[0], sum[1]));
        for (int src = 0; src < S; ++src) {
            float* p = nb + static_cast<std::size_t>(src) * kL;
            _mm256_storeu_ps(p, _mm256_sub_ps(_mm256_loadu_ps(p), top));
        }
        std::swap(beta, nb);
    }
}

} // namespace

void MaxlogLanes(const SoftTrellis& t, float factor, int count, const float* const* y, int n,
                 int tail, const float* const* la, float* const* e, SoftLaneScratch& s) {
    const int steps = n + tail;
    s.y.resize(static_cast<std::size_t>(steps) * kL);
    s.e.resize(static_cast<std::size_t>(n) * kL);
    // Lanes past count repeat frame 0, and their ratios are dropped.
    for (std::size_t l = 0; l < kL; ++l) {
        const float* yl = y[static_cast<int>(l) < count ? l : 0];
        for (int k = 0; k < steps; ++k) s.y[static_cast<std::size_t>(k) * kL + l] = yl[k];
    }
    if (la != nullptr) {
        s.la.resize(static_cast<std::size_t>(n) * kL);
        for (std::size_t l = 0; l < kL; ++l) {
            const float* ll = la[static_cast<int>(l) < count ? l : 0];
            for (int k = 0; k < n; ++k) s.la[static_cast<std::size_t>(k) * kL + l] = ll[k];
        }
        MaxlogKernel<true>(t, factor, n, steps, tail > 0, s);
    } else {
        MaxlogKernel<false>(t, factor, n, steps, tail > 0, s);
    }
    for (int f = 0; f < count; ++f)
        for (int k = 0; k < n; ++k)
            e[f][k] = s.e[static_cast<std::size_t>(k) * kL + static_cast<std::size_t>(f)];
}

#else

bool SoftLanesRun() {
    return false;
}

void MaxlogLanes(const SoftTrellis&, float, int, const float* const*, int, int, const float* const*,
                 float* const*, SoftLaneScratch&) {}

#endif

} // namespace detectors
