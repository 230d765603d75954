// Eight frames side by side, one in each lane of an AVX2 register: no
// shuffles between lanes. The trellis is walked by butterflies, old states
// 2i and 2i + 1 into new states i (bit 0) and i + S/2 (bit 1): both new
// states read the same two old windows, so each slot of them is loaded once
// and whether the two paths' bits differ there (the sign of L0 ^ L1) is
// worked out once. Where a lane's survivor is the odd state, a blend picks
// its window's slot; what a lane does is the plain detector's operations:
//   R = |Lw|, rival = bits differ ? Delta : Delta + |Ll|,
//   new slot = (rival < R ? rival : R) with Lw's sign,
// rival < R ? rival : R being exactly _mm256_min_ps(rival, R).
#include "detectors/sova_simd.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUORVANE_SOVA_X86 1
#endif

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>

namespace detectors {

#ifdef QUORVANE_SOVA_X86

bool SovaLanesRun() {
    static const bool runs = __builtin_cpu_supports("avx2");
    return runs;
}

namespace {

constexpr std::size_t kL = kSovaLanes;

// The floats to skip from p to the next 64-byte boundary.
inline std::size_t AlignPad(const float* p) {
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    return ((64 - address % 64) % 64) / sizeof(float);
}

// One slot of a new state's window from its survivor's (the odd old state's
// where m is set) against its competitor's. u0 and u1 are the old slots'
// reliabilities where the two paths' bits agree and +0 where they differ,
// so that Delta + u is the rival either way (Delta >= +0, and +0 + +0 is
// +0).
__attribute__((target("avx2"), always_inline)) inline __m256
Merge(__m256 l0, __m256 l1, __m256 u0, __m256 u1, __m256 m, __m256 delta, __m256 sign) {
    const __m256 lw = _mm256_blendv_ps(l0, l1, m);
    const __m256 rival = _mm256_add_ps(delta, _mm256_blendv_ps(u1, u0, m));
    const __m256 r = _mm256_andnot_ps(sign, lw);
    return _mm256_or_ps(_mm256_min_ps(rival, r), _mm256_and_ps(lw, sign));
}

// The lowest state of the largest metric in each lane (the plain BestOf).
__attribute__((target("avx2"), always_inline)) inline void BestStates(const __m256* pm, int states,
                                                                      int (&best)[kL]) {
    __m256 top = pm[0], index = _mm256_setzero_ps();
    for (int s = 1; s < states; ++s) {
        const __m256 gt = _mm256_cmp_ps(pm[s], top, _CMP_GT_OQ);
        top = _mm256_blendv_ps(top, pm[s], gt);
        index = _mm256_blendv_ps(index, _mm256_set1_ps(static_cast<float>(s)), gt);
    }
    alignas(32) float f[kL];
    _mm256_store_ps(f, index);
    for (std::size_t l = 0; l < kL; ++l) best[l] = static_cast<int>(f[l]);
}

template <int M, bool kApriori>
__attribute__((target("avx2"))) void Kernel(const SoftTrellis& t, float factor, int count, int n,
                                            int steps, int width, bool tail, SovaLaneScratch& s,
                                            float* const* l) {
    constexpr int S = 1 << M, H = S / 2;
    const std::size_t W = static_cast<std::size_t>(width), ring = W * kL;
    const __m256 sign = _mm256_set1_ps(-0.0f), f = _mm256_set1_ps(factor);
    const __m256 lo = _mm256_set1_ps(t.low), hi = _mm256_set1_ps(t.high);
    const __m256 inf = _mm256_set1_ps(__builtin_huge_valf());
    const int levels = static_cast<int>(t.levels.size());
    __m256 gl[2 * S];
    __m256 pm[S], next[S];
    for (int st = 0; st < S; ++st) pm[st] = _mm256_set1_ps(st == 0 ? 0.0f : kImpossible);
    s.windows.resize(2 * static_cast<std::size_t>(S) * ring + 16);
    float* cur = s.windows.data() + AlignPad(s.windows.data());
    float* nxt = cur + static_cast<std::size_t>(S) * ring;
    std::fill(cur, cur + static_cast<std::size_t>(S) * ring, __builtin_huge_valf());
    std::size_t slot = 0; // k mod W
    for (int k = 0; k < steps; ++k, slot = slot + 1 == W ? 0 : slot + 1) {
        if (k >= width && k - width < n) {
            int best[kL];
            BestStates(pm, S, best);
            for (int lane = 0; lane < count; ++lane)
                l[lane][k - width] = cur[static_cast<std::size_t>(best[lane]) * ring + slot * kL +
                                         static_cast<std::size_t>(lane)];
        }
        const __m256 yk = _mm256_loadu_ps(s.y.data() + static_cast<std::size_t>(k) * kL);
        const __m256 yc = _mm256_min_ps(_mm256_max_ps(yk, lo), hi);
        for (int i = 0; i < levels; ++i) {
            const __m256 d =
                _mm256_sub_ps(yc, _mm256_set1_ps(t.levels[static_cast<std::size_t>(i)]));
            gl[i] = _mm256_mul_ps(_mm256_mul_ps(d, d), f);
        }
        __m256 h = _mm256_setzero_ps(), nh = h;
        if (kApriori && k < n) {
            h = _mm256_mul_ps(_mm256_loadu_ps(s.la.data() + static_cast<std::size_t>(k) * kL),
                              _mm256_set1_ps(0.5f));
            nh = _mm256_xor_ps(h, sign);
        }
        for (int i = 0; i < H; ++i) {
            __m256 m[2], delta[2], fresh[2];
            for (int b = 0; b < 2; ++b) {
                const std::size_t w0 = static_cast<std::size_t>((b << M) | (2 * i)), w1 = w0 | 1;
                __m256 g0 = gl[t.levelIndex[w0]], g1 = gl[t.levelIndex[w1]];
                if (kApriori && k < n) {
                    g0 = _mm256_add_ps(g0, t.raw[w0] ? nh : h);
                    g1 = _mm256_add_ps(g1, t.raw[w1] ? nh : h);
                }
                const __m256 c0 = _mm256_add_ps(pm[2 * i], g0);
                const __m256 c1 = _mm256_add_ps(pm[2 * i + 1], g1);
                m[b] = _mm256_cmp_ps(c1, c0, _CMP_GT_OQ);
                next[i + b * H] = _mm256_max_ps(c1, c0);
                delta[b] = _mm256_sub_ps(next[i + b * H], _mm256_min_ps(c0, c1));
                // The newest position: the survivor's raw bit, rival only
                // where the competitor's differs.
                const __m256 s0 = t.raw[w0] ? sign : _mm256_setzero_ps();
                const __m256 s1 = t.raw[w1] ? sign : _mm256_setzero_ps();
                fresh[b] = t.raw[w0] != t.raw[w1]
                               ? _mm256_xor_ps(delta[b], _mm256_blendv_ps(s0, s1, m[b]))
                               : _mm256_or_ps(inf, s0);
            }
            const float* a = cur + static_cast<std::size_t>(2 * i) * ring;
            const float* c = a + ring;
            float* o0 = nxt + static_cast<std::size_t>(i) * ring;
            float* o1 = nxt + static_cast<std::size_t>(i + H) * ring;
            for (std::size_t j = 0; j < ring; j += kL) {
                const __m256 l0 = _mm256_load_ps(a + j), l1 = _mm256_load_ps(c + j);
                // All ones where the bits differ, the sign bit alone where
                // they agree: what clears from each old slot.
                const __m256 q = _mm256_or_ps(_mm256_castsi256_ps(_mm256_srai_epi32(
                                                  _mm256_castps_si256(_mm256_xor_ps(l0, l1)), 31)),
                                              sign);
                const __m256 u0 = _mm256_andnot_ps(q, l0), u1 = _mm256_andnot_ps(q, l1);
                _mm256_store_ps(o0 + j, Merge(l0, l1, u0, u1, m[0], delta[0], sign));
                _mm256_store_ps(o1 + j, Merge(l0, l1, u0, u1, m[1], delta[1], sign));
            }
            _mm256_store_ps(o0 + slot * kL, fresh[0]);
            _mm256_store_ps(o1 + slot * kL, fresh[1]);
        }
        // The largest metric in the plain detector's order (so that even
        // the sign of a zero is its).
        __m256 top = next[0];
        for (int st = 0; st < S; ++st) top = _mm256_max_ps(next[st], top);
        for (int st = 0; st < S; ++st) pm[st] = _mm256_sub_ps(next[st], top);
        std::swap(cur, nxt);
    }
    // The frame's end, lane by lane as the plain detector does it.
    alignas(32) float metric[S][kL];
    for (int st = 0; st < S; ++st) _mm256_store_ps(metric[st], pm[st]);
    const int first = std::max(0, steps - width);
    for (int lane = 0; lane < count; ++lane) {
        const std::size_t ln = static_cast<std::size_t>(lane);
        auto at = [&](int st, int p) -> float& {
            return cur[static_cast<std::size_t>(st) * ring +
                       static_cast<std::size_t>(p % width) * kL + ln];
        };
        int end = 0;
        if (!tail) {
            for (int st = 1; st < S; ++st)
                if (metric[st][ln] > metric[end][ln]) end = st;
            for (int st = 0; st < S; ++st) {
                if (st == end) continue;
                const float delta = metric[end][ln] - metric[st][ln];
                for (int p = first; p < steps; ++p) {
                    float& lw = at(end, p);
                    const float ll = at(st, p), r = std::fabs(lw);
                    const float rival =
                        std::signbit(lw) != std::signbit(ll) ? delta : delta + std::fabs(ll);
                    lw = std::copysign(rival < r ? rival : r, lw);
                }
            }
        }
        for (int p = first; p < n; ++p) l[lane][p] = at(end, p);
    }
}

template <int M>
void KernelOf(const SoftTrellis& t, float factor, int count, int n, int steps, int width, bool tail,
              bool apriori, SovaLaneScratch& s, float* const* l) {
    if (apriori)
        Kernel<M, true>(t, factor, count, n, steps, width, tail, s, l);
    else
        Kernel<M, false>(t, factor, count, n, steps, width, tail, s, l);
}

} // namespace

void SovaLanes(const SoftTrellis& t, float factor, int count, const float* const* y, int n,
               int tail, int width, const float* const* la, float* const* l, SovaLaneScratch& s) {
    const int steps = n + tail;
    if (steps <= 0 || n <= 0) return;
    assert(t.memory >= 1 && t.memory <= channel::kMaxMemory);
    assert(width >= 1 && width <= steps);
    s.y.resize(static_cast<std::size_t>(steps) * kL);
    // Lanes past count repeat frame 0, and their ratios are dropped.
    for (std::size_t ln = 0; ln < kL; ++ln) {
        const float* yl = y[static_cast<int>(ln) < count ? ln : 0];
        for (int k = 0; k < steps; ++k) s.y[static_cast<std::size_t>(k) * kL + ln] = yl[k];
    }
    if (la != nullptr) {
        s.la.resize(static_cast<std::size_t>(n) * kL);
        for (std::size_t ln = 0; ln < kL; ++ln) {
            const float* ll = la[static_cast<int>(ln) < count ? ln : 0];
            for (int k = 0; k < n; ++k) s.la[static_cast<std::size_t>(k) * kL + ln] = ll[k];
        }
    }
    const bool apriori = la != nullptr, withTail = tail > 0;
    switch (t.memory) {
    case 1:
        KernelOf<1>(t, factor, count, n, steps, width, withTail, apriori, s, l);
        break;
    case 2:
        KernelOf<2>(t, factor, count, n, steps, width, withTail, apriori, s, l);
        break;
    case 3:
        KernelOf<3>(t, factor, count, n, steps, width, withTail, apriori, s, l);
        break;
    case 4:
        KernelOf<4>(t, factor, count, n, steps, width, withTail, apriori, s, l);
        break;
    case 5:
        KernelOf<5>(t, factor, count, n, steps, width, withTail, apriori, s, l);
        break;
    default:
        KernelOf<6>(t, factor, count, n, steps, width, withTail, apriori, s, l);
        break;
    }
}

#else

bool SovaLanesRun() {
    return false;
}

void SovaLanes(const SoftTrellis&, float, int, const float* const*, int, int, int,
               const float* const*, float* const*, SovaLaneScratch&) {}

#endif

} // namespace detectors
