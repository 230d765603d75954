#include "channel/adc.h"

#include <cassert>
#include <cmath>
#include <cstdio>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC 12's AVX-512 intrinsics start from undefined vectors, which it reports
// as "may be used uninitialized" wherever they are inlined (GCC bug 105593).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_ADC_X86 1
#endif

namespace channel {

namespace {

// The rule of Adc::Code on 16 (AVX-512) or 4 (AVX2) samples at once: the
// double lanes do exactly the scalar operations, max() sends a NaN to 0 (it
// returns its second operand when the first is not a number), and the
// conversion rounds down.
#ifdef QUORVANE_ADC_X86
__attribute__((target("avx512f"))) inline __m512i Codes16(const float* y, __m512d m, __m512d offset,
                                                          __m512d top) {
    const __m512d zero = _mm512_setzero_pd();
    __m256i half[2];
    for (int h = 0; h < 2; ++h) {
        const __m512d v = _mm512_cvtps_pd(_mm256_loadu_ps(y + 8 * h));
        const __m512d x =
            _mm512_min_pd(_mm512_max_pd(_mm512_add_pd(_mm512_mul_pd(v, m), offset), zero), top);
        half[h] = _mm512_cvt_roundpd_epi32(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
    }
    return _mm512_inserti64x4(_mm512_castsi256_si512(half[0]), half[1], 1);
}

__attribute__((target("avx512f"))) int CodesAvx512(const float* y, std::uint16_t* codes, int n,
                                                   double m, double offset, double top, int shift) {
    const __m512d vm = _mm512_set1_pd(m), voff = _mm512_set1_pd(offset), vtop = _mm512_set1_pd(top);
    const __m128i vshift = _mm_cvtsi32_si128(shift);
    int k = 0;
    for (; k + 16 <= n; k += 16) {
        const __m512i c = _mm512_sll_epi32(Codes16(y + k, vm, voff, vtop), vshift);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(codes + k), _mm512_cvtepi32_epi16(c));
    }
    return k;
}

// Value(c) on 16 codes, in double as the table is made.
__attribute__((target("avx512f"))) int QuantizeAvx512(const float* y, float* out, int n, double m,
                                                      double offset, double top, double step,
                                                      double lowest) {
    const __m512d vm = _mm512_set1_pd(m), voff = _mm512_set1_pd(offset), vtop = _mm512_set1_pd(top);
    const __m512d vstep = _mm512_set1_pd(step), vlow = _mm512_set1_pd(lowest);
    const __m512d zero = _mm512_setzero_pd();
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m512d v = _mm512_cvtps_pd(_mm256_loadu_ps(y + k));
        const __m512d x =
            _mm512_min_pd(_mm512_max_pd(_mm512_add_pd(_mm512_mul_pd(v, vm), voff), zero), vtop);
        const __m512d c = _mm512_roundscale_pd(x, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
        _mm256_storeu_ps(out + k, _mm512_cvtpd_ps(_mm512_add_pd(_mm512_mul_pd(c, vstep), vlow)));
    }
    return k;
}

__attribute__((target("avx2"))) inline __m128i Codes4(const float* y, __m256d m, __m256d offset,
                                                      __m256d top) {
    const __m256d v = _mm256_cvtps_pd(_mm_loadu_ps(y));
    const __m256d x = _mm256_min_pd(
        _mm256_max_pd(_mm256_add_pd(_mm256_mul_pd(v, m), offset), _mm256_setzero_pd()), top);
    return _mm256_cvttpd_epi32(_mm256_floor_pd(x));
}

__attribute__((target("avx2"))) int CodesAvx2(const float* y, std::uint16_t* codes, int n, double m,
                                              double offset, double top, int shift) {
    const __m256d vm = _mm256_set1_pd(m), voff = _mm256_set1_pd(offset), vtop = _mm256_set1_pd(top);
    const __m128i vshift = _mm_cvtsi32_si128(shift);
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m128i a = _mm_sll_epi32(Codes4(y + k, vm, voff, vtop), vshift);
        const __m128i b = _mm_sll_epi32(Codes4(y + k + 4, vm, voff, vtop), vshift);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(codes + k), _mm_packus_epi32(a, b));
    }
    return k;
}

__attribute__((target("avx2"))) int QuantizeAvx2(const float* y, float* out, int n, double m,
                                                 double offset, double top, double step,
                                                 double lowest) {
    const __m256d vm = _mm256_set1_pd(m), voff = _mm256_set1_pd(offset), vtop = _mm256_set1_pd(top);
    const __m256d vstep = _mm256_set1_pd(step), vlow = _mm256_set1_pd(lowest);
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m256d v = _mm256_cvtps_pd(_mm_loadu_ps(y + k));
        const __m256d x = _mm256_min_pd(
            _mm256_max_pd(_mm256_add_pd(_mm256_mul_pd(v, vm), voff), _mm256_setzero_pd()), vtop);
        const __m256d c = _mm256_floor_pd(x);
        _mm_storeu_ps(out + k, _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(c, vstep), vlow)));
    }
    return k;
}

enum class Isa { kScalar, kAvx2, kAvx512 };

Isa BestIsa() {
    static const Isa best = __builtin_cpu_supports("avx512f") ? Isa::kAvx512
                            : __builtin_cpu_supports("avx2")  ? Isa::kAvx2
                                                              : Isa::kScalar;
    return best;
}
#endif

// The target's lowest and highest level (0 is always one: the all-zero window).
void Range(const Target& target, double& lo, double& hi) {
    lo = target.Levels().front();
    hi = target.Levels().back();
}

} // namespace

std::string Adc::WhyNot(const Target& target, int bits) {
    if (bits < kMinAdcBits || bits > kMaxAdcBits)
        return "a converter has " + std::to_string(kMinAdcBits) + " to " +
               std::to_string(kMaxAdcBits) + " bits";
    if (!target.IsInteger())
        return "the converter puts the levels on its codes, which needs an integer target; " +
               target.Name() + " is not";
    double lo = 0, hi = 0;
    Range(target, lo, hi);
    const double codes = std::ldexp(1.0, bits);
    if (hi - lo > codes - 1)
        return target.Name() + " has " + std::to_string(static_cast<long long>(hi - lo + 1)) +
               " levels from lowest to highest, more than " + std::to_string(bits) +
               " bits have codes";
    return {};
}

Adc::Adc(const Target& target, int bits) : bits_(bits) {
    assert(WhyNot(target, bits).empty());
    double lo = 0, hi = 0;
    Range(target, lo, hi);
    lo_ = static_cast<int>(lo);
    const int range = static_cast<int>(hi - lo);
    m_ = ((1 << bits) - 1) / range;
    top_ = m_ * range;
    offset_ = 0.5 - static_cast<double>(lo_) * m_;
    step_ = 1.0 / m_;
    value_.resize(static_cast<std::size_t>(top_) + 1);
    for (int c = 0; c <= top_; ++c)
        value_[static_cast<std::size_t>(c)] =
            static_cast<float>(static_cast<double>(c) * step_ + static_cast<double>(lo_));
#ifndef NDEBUG
    for (int c = 0; c <= top_; ++c) assert(Code(Value(c)) == c);
#endif
}

int Adc::Code(float y) const {
    const double x = static_cast<double>(y) * m_ + offset_;
    if (!(x >= 1.0)) return 0; // below code 1, or not a number
    if (x >= top_) return top_;
    return static_cast<int>(x); // positive: truncation is the floor
}

void Adc::ToCodes(const float* y, std::uint16_t* codes, int n, int shift) const {
    assert((static_cast<long long>(top_) << shift) < 65536);
    int k = 0;
#ifdef QUORVANE_ADC_X86
    if (BestIsa() == Isa::kAvx512) k = CodesAvx512(y, codes, n, m_, offset_, top_, shift);
    if (BestIsa() == Isa::kAvx2) k = CodesAvx2(y, codes, n, m_, offset_, top_, shift);
#endif
    for (; k < n; ++k) codes[k] = static_cast<std::uint16_t>(Code(y[k]) << shift);
}

void Adc::Quantize(const float* y, float* out, int n) const {
    int k = 0;
#ifdef QUORVANE_ADC_X86
    const double lowest = lo_;
    if (BestIsa() == Isa::kAvx512) k = QuantizeAvx512(y, out, n, m_, offset_, top_, step_, lowest);
    if (BestIsa() == Isa::kAvx2) k = QuantizeAvx2(y, out, n, m_, offset_, top_, step_, lowest);
#endif
    for (; k < n; ++k) out[k] = Value(Code(y[k]));
}

std::string Adc::Describe() const {
    char line[200];
    std::snprintf(line, sizeof line,
                  "adc: %d bits, codes 0 ... %d for the levels %d ... %d (%d a level step), "
                  "nearest code, clamped",
                  bits_, top_, lo_, lo_ + top_ / m_, m_);
    return line;
}

} // namespace channel
