#include "detectors/slicer.h"

#include <algorithm>
#include <bit>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC bug 105593, as in viterbi_simd.cpp.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_SLICER_AVX512 1
#endif

namespace detectors {

namespace {

// 1.5 * 2^23: a float of magnitude below 2^22 added to it lands in
// [2^23, 2^24), where the spacing of floats is 1, so the sum is the nearest
// integer (ties to even) and its lowest mantissa bit is that integer's parity.
constexpr float kRoundingBias = 12582912.0f;

// The parity of the nearest whole number in lowest ... highest, without a
// branch: the clamp and the NaN test become selects, the rounding an
// addition. Ties to even are turned into ties upwards: v - nearest is exact
// (both lie within one half of each other and far below 2^22), and it is +1/2
// exactly when v was halfway and rounded down.
inline std::uint8_t SliceParity(float y, float lowest, float highest) {
    float v = y == y ? y : 0.0f;
    v = v < highest ? v : highest;
    v = v > lowest ? v : lowest;
    const float biased = v + kRoundingBias;
    const float nearest = biased - kRoundingBias;
    const std::uint32_t parity = std::bit_cast<std::uint32_t>(biased) & 1u;
    const std::uint32_t upward = v - nearest == 0.5f ? 1u : 0u;
    return static_cast<std::uint8_t>(parity ^ upward);
}

#if defined(__SSE2__)
// SliceParity on four floats at once, the same operations lane by lane.
inline __m128i SliceParity4(__m128 y, __m128 lowest, __m128 highest) {
    const __m128 bias = _mm_set1_ps(kRoundingBias);
    __m128 v = _mm_and_ps(y, _mm_cmpord_ps(y, y));
    v = _mm_min_ps(v, highest);
    v = _mm_max_ps(v, lowest);
    const __m128 biased = _mm_add_ps(v, bias);
    const __m128 nearest = _mm_sub_ps(biased, bias);
    const __m128i one = _mm_set1_epi32(1);
    const __m128i upward =
        _mm_castps_si128(_mm_cmpeq_ps(_mm_sub_ps(v, nearest), _mm_set1_ps(0.5f)));
    return _mm_and_si128(_mm_xor_si128(_mm_castps_si128(biased), upward), one);
}
#endif

#ifdef QUORVANE_SLICER_AVX512
// The same on 64 floats, where the processor has AVX-512BW: the parities as
// mask bits, then the mask as 64 bytes of 0 or 1.
__attribute__((target("avx512f,avx512bw"))) int
SliceAvx512(const float* y, int n, std::uint8_t* raw, float lowest, float highest) {
    const __m512 lo = _mm512_set1_ps(lowest), hi = _mm512_set1_ps(highest);
    const __m512 bias = _mm512_set1_ps(kRoundingBias), half = _mm512_set1_ps(0.5f);
    const __m512i one = _mm512_set1_epi32(1);
    const __m512i ones = _mm512_set1_epi8(1);
    int k = 0;
    for (; k + 64 <= n; k += 64) {
        std::uint64_t bits = 0;
        for (int q = 0; q < 4; ++q) {
            const __m512 in = _mm512_loadu_ps(y + k + 16 * q);
            __m512 v = _mm512_maskz_mov_ps(_mm512_cmp_ps_mask(in, in, _CMP_ORD_Q), in);
            v = _mm512_max_ps(_mm512_min_ps(v, hi), lo);
            const __m512 biased = _mm512_add_ps(v, bias);
            const __m512 nearest = _mm512_sub_ps(biased, bias);
            const __mmask16 upward =
                _mm512_cmp_ps_mask(_mm512_sub_ps(v, nearest), half, _CMP_EQ_OQ);
            const __mmask16 parity = _mm512_test_epi32_mask(_mm512_castps_si512(biased), one);
            bits |= static_cast<std::uint64_t>(_kxor_mask16(parity, upward)) << (16 * q);
        }
        _mm512_storeu_si512(raw + k, _mm512_maskz_mov_epi8(_cvtu64_mask64(bits), ones));
    }
    return k;
}
#endif

inline std::uint8_t ParityOf(float level) {
    return static_cast<std::uint8_t>(static_cast<long long>(level) & 1);
}

} // namespace

Slicer::Slicer(const channel::Target& target)
    : lowest_(target.Levels().front()), highest_(target.Levels().back()),
      consecutive_(target.LevelsAreConsecutive()), levels_(target.Levels()) {
    for (std::size_t j = 0; j + 1 < levels_.size(); ++j)
        edges_.push_back(0.5 * (static_cast<double>(levels_[j]) + levels_[j + 1]));
}

float Slicer::Level(float y) const {
    const float v = y == y ? y : 0.0f;
    // Clamping first keeps infinities and huge values out of the conversion.
    if (v >= highest_) return highest_;
    if (v <= lowest_) return lowest_;
    if (consecutive_) {
        // A float plus one half is exact in double, so halfway rounds up exactly.
        return static_cast<float>(std::floor(static_cast<double>(v) + 0.5));
    }
    // The number of edges at or below v is the level's index: halfway goes up.
    const auto above = std::upper_bound(edges_.begin(), edges_.end(), static_cast<double>(v));
    return levels_[static_cast<std::size_t>(above - edges_.begin())];
}

void Slicer::Slice(const float* y, int n, std::uint8_t* raw) const {
    if (!consecutive_) {
        for (int k = 0; k < n; ++k) raw[k] = ParityOf(Level(y[k]));
        return;
    }
    int k = 0;
#ifdef QUORVANE_SLICER_AVX512
    static const bool wide = __builtin_cpu_supports("avx512bw");
    if (wide) k = SliceAvx512(y, n, raw, lowest_, highest_);
#endif
#if defined(__SSE2__)
    // Sixteen samples to sixteen bytes: the 0/1 lanes pack without saturating.
    const __m128 lo = _mm_set1_ps(lowest_), hi = _mm_set1_ps(highest_);
    for (; k + 16 <= n; k += 16) {
        const __m128i a = SliceParity4(_mm_loadu_ps(y + k), lo, hi);
        const __m128i b = SliceParity4(_mm_loadu_ps(y + k + 4), lo, hi);
        const __m128i c = SliceParity4(_mm_loadu_ps(y + k + 8), lo, hi);
        const __m128i d = SliceParity4(_mm_loadu_ps(y + k + 12), lo, hi);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(raw + k), bytes);
    }
#endif
    for (; k < n; ++k) raw[k] = SliceParity(y[k], lowest_, highest_);
}

namespace {

class SlicerDetector final : public Detector {
  public:
    explicit SlicerDetector(const Setup& setup) : Detector(setup.shape), slicer_(setup.target) {}
    Kind kind() const override { return Kind::kSlicer; }
    void Detect(int count, const float* const* y, std::uint8_t* const* raw) override {
        // The tail's samples carry no data bits of their own.
        for (int f = 0; f < count; ++f) slicer_.Slice(y[f], shape().bits, raw[f]);
    }

  private:
    Slicer slicer_;
};

} // namespace

std::string SlicerWhyNot(const Where& where) {
    // A designed target has real taps: no precoder, no slicer.
    if (where.target == nullptr)
        return "the slicer needs an integer target with a parity precoder; " + where.name +
               " has real taps";
    if (!where.target->HasSlicer())
        return "the slicer needs an integer target with an odd first coefficient (a parity "
               "precoder); " +
               where.target->Name() + " has none";
    return {};
}

std::unique_ptr<Detector> MakeSlicerDetector(const Setup& setup) {
    return std::make_unique<SlicerDetector>(setup);
}

} // namespace detectors
