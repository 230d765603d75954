#pragma once
// The smallest of an AVX-512 register's sixteen floats, in every lane: what
// renormalising the path metrics subtracts. min is exact, so the order of
// the folds does not matter. Internal to detectors/.
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

namespace detectors::viterbi_detail {

__attribute__((target("avx512f"), always_inline)) inline __m512 LaneMin(__m512 m) {
    m = _mm512_min_ps(m, _mm512_shuffle_f32x4(m, m, _MM_SHUFFLE(1, 0, 3, 2)));
    m = _mm512_min_ps(m, _mm512_shuffle_f32x4(m, m, _MM_SHUFFLE(2, 3, 0, 1)));
    m = _mm512_min_ps(m, _mm512_permute_ps(m, _MM_SHUFFLE(1, 0, 3, 2)));
    return _mm512_min_ps(m, _mm512_permute_ps(m, _MM_SHUFFLE(2, 3, 0, 1)));
}

} // namespace detectors::viterbi_detail
#endif
