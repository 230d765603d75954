// The integer detector's 16-bit forward passes: all add-compare-selects of a
// step at once, 32 states in one AVX-512 register or 16 in each of one or two
// AVX2 registers, several frames side by side; the scalar pass does the same
// operations in 32-bit words. The branch metrics of a step are one row of the
// table, picked by the sample's code. Unsigned metrics: the table and the
// renormalisation period keep every sum below 2^16, so no addition wraps and
// the decisions are those of exact arithmetic.
#include <algorithm>

#include "detectors/viterbi_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC bug 105593, as in viterbi_simd.cpp.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_VITERBI_INT_X86 1
#endif

namespace detectors::viterbi_detail {

namespace {

constexpr int kLanes = 32;

inline int LaneState(const IntBranches& b, int lane) {
    return lane % b.states;
}
inline int EvenPredecessor(const IntBranches& b, int t) {
    return 2 * (t & (b.states / 2 - 1));
}
inline std::uint32_t StateMask(const IntBranches& b) {
    return b.states >= 32 ? ~0u : (1u << b.states) - 1;
}
inline const std::uint16_t* Row(const IntBranches& b, std::uint16_t offset) {
    return b.metric.data() + offset;
}

void IntForwardScalar(const IntBranches& b, const std::uint16_t* rows, int n,
                      std::uint32_t* decisions, int stride, std::uint16_t* pmOut) {
    const int states = b.states;
    std::uint32_t pm[kLanes] = {};
    std::uint32_t next[kLanes];
    const int warm = std::min(b.memory, n);
    int k = 0;
    for (; k < warm; ++k) {
        const std::uint16_t* row = Row(b, rows[k]);
        for (int t = 0; t < states; ++t) next[t] = pm[EvenPredecessor(b, t)] + row[t];
        std::copy(next, next + states, pm);
        decisions[static_cast<std::size_t>(k) * stride] = 0;
    }
    while (k < n) {
        const int end = std::min(n, k + b.period);
        for (; k < end; ++k) {
            const std::uint16_t* row = Row(b, rows[k]);
            std::uint32_t word = 0;
            for (int t = 0; t < states; ++t) {
                const int s0 = EvenPredecessor(b, t);
                const std::uint32_t m0 = pm[s0] + row[t];
                const std::uint32_t m1 = pm[s0 + 1] + row[kLanes + t];
                const bool odd = m1 < m0;
                next[t] = odd ? m1 : m0;
                word |= static_cast<std::uint32_t>(odd) << t;
            }
            std::copy(next, next + states, pm);
            decisions[static_cast<std::size_t>(k) * stride] = word;
        }
        const std::uint32_t low = *std::min_element(pm, pm + states);
        for (int t = 0; t < states; ++t) pm[t] -= low;
    }
    for (int t = 0; t < states; ++t) pmOut[t] = static_cast<std::uint16_t>(pm[t]);
}

#ifdef QUORVANE_VITERBI_INT_X86

// ---- AVX-512BW: up to 32 states in the 32 lanes of one register ------------
template <int F>
__attribute__((target("avx512f,avx512bw"))) void
Int16Avx512(const IntBranches& b, const std::uint16_t* const* rows, int n, std::uint32_t* decisions,
            int stride, std::uint16_t* const* pmOut) {
    alignas(64) std::uint16_t idx[2][kLanes];
    for (int l = 0; l < kLanes; ++l) {
        idx[0][l] = static_cast<std::uint16_t>(EvenPredecessor(b, LaneState(b, l)));
        idx[1][l] = static_cast<std::uint16_t>(idx[0][l] + 1);
    }
    const __m512i even = _mm512_load_si512(idx[0]), odd = _mm512_load_si512(idx[1]);
    const std::uint32_t mask = StateMask(b);
    __m512i r[F];
    for (int f = 0; f < F; ++f) r[f] = _mm512_setzero_si512();
    const int warm = std::min(b.memory, n);
    int k = 0;
    for (; k < warm; ++k) {
        for (int f = 0; f < F; ++f) {
            const __m512i e = _mm512_permutexvar_epi16(even, r[f]);
            r[f] = _mm512_add_epi16(e, _mm512_loadu_si512(Row(b, rows[f][k])));
            decisions[static_cast<std::size_t>(k) * stride + f] = 0;
        }
    }
    while (k < n) {
        const int end = std::min(n, k + b.period);
        for (; k < end; ++k) {
            std::uint32_t* out = decisions + static_cast<std::size_t>(k) * stride;
            for (int f = 0; f < F; ++f) {
                const std::uint16_t* row = Row(b, rows[f][k]);
                const __m512i ce =
                    _mm512_add_epi16(_mm512_permutexvar_epi16(even, r[f]), _mm512_loadu_si512(row));
                const __m512i co = _mm512_add_epi16(_mm512_permutexvar_epi16(odd, r[f]),
                                                    _mm512_loadu_si512(row + kLanes));
                // Strictly smaller: a tie keeps the even predecessor.
                // (Each word stored as it is made: gathered first, the eight
                // words are put together in a vector register, at a cost.)
                out[f] = static_cast<std::uint32_t>(_mm512_cmplt_epu16_mask(co, ce)) & mask;
                r[f] = _mm512_min_epu16(ce, co);
            }
        }
        for (int f = 0; f < F; ++f) {
            // The smallest of the 32 lanes in every lane.
            __m512i m = _mm512_min_epu16(r[f], _mm512_shuffle_i64x2(r[f], r[f], 0x4E));
            m = _mm512_min_epu16(m, _mm512_shuffle_i64x2(m, m, 0xB1));
            m = _mm512_min_epu16(m, _mm512_shuffle_epi32(m, _MM_PERM_BADC));
            m = _mm512_min_epu16(m, _mm512_shuffle_epi32(m, _MM_PERM_CDAB));
            m = _mm512_min_epu16(m, _mm512_rol_epi32(m, 16));
            r[f] = _mm512_sub_epi16(r[f], m);
        }
    }
    for (int f = 0; f < F; ++f) {
        alignas(64) std::uint16_t all[kLanes];
        _mm512_store_si512(all, r[f]);
        std::copy(all, all + b.states, pmOut[f]);
    }
}

// ---- AVX2: R registers of 16 states ----------------------------------------
// R = 1 holds up to 16 states (lane l state l mod S), R = 2 holds states 0-15
// and 16-31. The even (odd) predecessors of every state are the even (odd)
// lanes of all R registers in order: the low (high) halves of their 32-bit
// words, packed to 16 bits, then their 64-bit quarters put in order.
template <int R>
__attribute__((target("avx2"), always_inline)) inline void
Avx2Predecessors(const __m256i (&r)[R], __m256i& even, __m256i& odd) {
    const __m256i low = _mm256_set1_epi32(0xFFFF);
    const __m256i a = r[0], b = r[R - 1];
    even = _mm256_permute4x64_epi64(
        _mm256_packus_epi32(_mm256_and_si256(a, low), _mm256_and_si256(b, low)), 0xD8);
    odd = _mm256_permute4x64_epi64(
        _mm256_packus_epi32(_mm256_srli_epi32(a, 16), _mm256_srli_epi32(b, 16)), 0xD8);
}

template <int F, int R>
__attribute__((target("avx2"))) void
Int16Avx2(const IntBranches& b, const std::uint16_t* const* rows, int n, std::uint32_t* decisions,
          int stride, std::uint16_t* const* pmOut) {
    const std::uint32_t mask = StateMask(b);
    __m256i r[F][R];
    for (int f = 0; f < F; ++f)
        for (int q = 0; q < R; ++q) r[f][q] = _mm256_setzero_si256();
    const int warm = std::min(b.memory, n);
    int k = 0;
    for (; k < warm; ++k) {
        for (int f = 0; f < F; ++f) {
            const std::uint16_t* row = Row(b, rows[f][k]);
            __m256i e, o;
            Avx2Predecessors<R>(r[f], e, o);
            for (int q = 0; q < R; ++q)
                r[f][q] = _mm256_add_epi16(
                    e, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 16 * q)));
            decisions[static_cast<std::size_t>(k) * stride + f] = 0;
        }
    }
    while (k < n) {
        const int end = std::min(n, k + b.period);
        for (; k < end; ++k) {
            for (int f = 0; f < F; ++f) {
                const std::uint16_t* row = Row(b, rows[f][k]);
                __m256i e, o, same[R];
                Avx2Predecessors<R>(r[f], e, o);
                for (int q = 0; q < R; ++q) {
                    const __m256i ce = _mm256_add_epi16(
                        e, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 16 * q)));
                    const __m256i co =
                        _mm256_add_epi16(o, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(
                                                row + kLanes + 16 * q)));
                    r[f][q] = _mm256_min_epu16(ce, co);
                    // The even candidate is the smaller or equal one: decision 0.
                    same[q] = _mm256_cmpeq_epi16(r[f][q], ce);
                }
                const __m256i bytes =
                    _mm256_permute4x64_epi64(_mm256_packs_epi16(same[0], same[R - 1]), 0xD8);
                const std::uint32_t kept = static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes));
                decisions[static_cast<std::size_t>(k) * stride + f] = ~kept & mask;
            }
        }
        for (int f = 0; f < F; ++f) {
            __m256i m = r[f][0];
            for (int q = 1; q < R; ++q) m = _mm256_min_epu16(m, r[f][q]);
            m = _mm256_min_epu16(m, _mm256_permute2x128_si256(m, m, 1));
            m = _mm256_min_epu16(m, _mm256_shuffle_epi32(m, 0x4E));
            m = _mm256_min_epu16(m, _mm256_shuffle_epi32(m, 0xB1));
            m = _mm256_min_epu16(
                m, _mm256_or_si256(_mm256_srli_epi32(m, 16), _mm256_slli_epi32(m, 16)));
            for (int q = 0; q < R; ++q) r[f][q] = _mm256_sub_epi16(r[f][q], m);
        }
    }
    for (int f = 0; f < F; ++f) {
        alignas(32) std::uint16_t all[16 * R];
        for (int q = 0; q < R; ++q)
            _mm256_store_si256(reinterpret_cast<__m256i*>(all + 16 * q), r[f][q]);
        std::copy(all, all + b.states, pmOut[f]);
    }
}

template <int F>
void Int16Avx2Of(const IntBranches& b, const std::uint16_t* const* rows, int n,
                 std::uint32_t* decisions, int stride, std::uint16_t* const* pmOut) {
    if (b.states <= 16) return Int16Avx2<F, 1>(b, rows, n, decisions, stride, pmOut);
    Int16Avx2<F, 2>(b, rows, n, decisions, stride, pmOut);
}

#endif

} // namespace

bool RunsInt(Kernel kernel) {
#ifdef QUORVANE_VITERBI_INT_X86
    if (kernel == Kernel::kAvx512) return Runs(kernel) && __builtin_cpu_supports("avx512bw");
#endif
    return Runs(kernel);
}

Kernel BestIntKernel() {
    static const Kernel best = RunsInt(Kernel::kAvx512) ? Kernel::kAvx512
                               : RunsInt(Kernel::kAvx2) ? Kernel::kAvx2
                                                        : Kernel::kScalar;
    return best;
}

void IntForwardFramesWith(Kernel kernel, const IntBranches& b, int frames,
                          const std::uint16_t* const* rows, int steps, std::uint32_t* decisions,
                          int stride, std::uint16_t* const* pmOut) {
    int f = 0;
#ifdef QUORVANE_VITERBI_INT_X86
    if (kernel == Kernel::kAvx512) {
        for (; f + 8 <= frames; f += 8)
            Int16Avx512<8>(b, rows + f, steps, decisions + f, stride, pmOut + f);
        for (; f + 4 <= frames; f += 4)
            Int16Avx512<4>(b, rows + f, steps, decisions + f, stride, pmOut + f);
        for (; f + 2 <= frames; f += 2)
            Int16Avx512<2>(b, rows + f, steps, decisions + f, stride, pmOut + f);
        for (; f < frames; ++f)
            Int16Avx512<1>(b, rows + f, steps, decisions + f, stride, pmOut + f);
        return;
    }
    if (kernel == Kernel::kAvx2) {
        for (; f + 4 <= frames; f += 4)
            Int16Avx2Of<4>(b, rows + f, steps, decisions + f, stride, pmOut + f);
        for (; f + 2 <= frames; f += 2)
            Int16Avx2Of<2>(b, rows + f, steps, decisions + f, stride, pmOut + f);
        for (; f < frames; ++f)
            Int16Avx2Of<1>(b, rows + f, steps, decisions + f, stride, pmOut + f);
        return;
    }
#endif
    (void)kernel;
    for (; f < frames; ++f) IntForwardScalar(b, rows[f], steps, decisions + f, stride, pmOut[f]);
}

} // namespace detectors::viterbi_detail
