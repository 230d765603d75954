// The stream lanes16 of NoiseSource (channel/noise.h): sixteen lanes of
// 32-bit draws, each a try of a ziggurat of 128 layers. The layer's width
// and rectangle are looked up in tables held in vector registers (a gather
// costs more than the rest of a step on some processors), every sample of a
// step is written, and the rare one outside its rectangle is finished after
// the block from a generator of its own, the misses in the stream's order.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "channel/noise.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC bug 105593, as in noise.cpp.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_LANES16_X86 1
#endif

namespace channel {

namespace {

constexpr int kWide = 16; // samples a step
constexpr int kLayers = 128;
// The two roots for 128 layers (as noise.cpp's for 256 and 1024): the base
// layer's tail begins at kTail, and every layer has area kArea.
constexpr double kTail = 3.442619855896652;
constexpr double kArea = 9.91256303533647e-3;

// Layer i: a draw of place u (0 ... 2^24 - 1) is the sample u width[i]; it
// lies inside the layer's rectangle when u < inner[i]. A sample x of a layer
// i >= 1 outside it is accepted when a uniform v has v span[i] < e^(-x^2/2) -
// low[i]: low[i] is the curve's height at the layer's right edge, low[i] +
// span[i] at the edge of the layer above.
struct Tables {
    alignas(64) float width[kLayers];
    alignas(64) float inner[kLayers]; // whole numbers, exact in float
    alignas(64) float low[kLayers];
    alignas(64) float span[kLayers];
    Tables() {
        double x[kLayers + 1];
        double f = std::exp(-0.5 * kTail * kTail);
        x[0] = kArea / f;
        x[1] = kTail;
        x[kLayers] = 0.0;
        for (int i = 2; i < kLayers; ++i) {
            x[i] = std::sqrt(-2.0 * std::log(kArea / x[i - 1] + f));
            f = std::exp(-0.5 * x[i] * x[i]);
        }
        for (int i = 0; i < kLayers; ++i) {
            width[i] = static_cast<float>(x[i] * 0x1.0p-24);
            inner[i] = static_cast<float>(std::ceil(x[i + 1] / x[i] * 0x1.0p24));
            const double edge = std::exp(-0.5 * x[i] * x[i]);
            low[i] = static_cast<float>(edge);
            span[i] = static_cast<float>(std::exp(-0.5 * x[i + 1] * x[i + 1]) - edge);
        }
    }
};
const Tables kTables;

// e^a for a in [-6, 0] in float: a = n ln 2 + r with n the nearest whole
// number to a log2(e) (by the float rounding of a sum with 1.5 2^23; ln 2 in
// two parts, the first short enough that n times it is exact), e^r by its
// Taylor series to r^7 summed in pairs (|r| <= 0.35: within an ulp), then
// times 2^n through the exponent. Plain operations in a fixed order, the
// vector version (Exp16) the same ones, so every path gives the same bits
// (the library's exponential may differ between processors).
constexpr float kLog2e = 1.44269504f;
constexpr float kRound = 12582912.0f;
constexpr float kLn2Hi = 0.693145751953125f;
constexpr float kLn2Lo = 1.42860682e-6f;
constexpr float kTaylor[8] = {1.0f,         1.0f,          0.5f,          1.0f / 6,
                              1.0f / 24.0f, 1.0f / 120.0f, 1.0f / 720.0f, 1.0f / 5040.0f};

inline float Exp(float a) {
    const float n = (a * kLog2e + kRound) - kRound;
    const float r = (a - n * kLn2Hi) - n * kLn2Lo;
    const float r2 = r * r;
    float pair[4];
    for (int q = 0; q < 4; ++q) pair[q] = kTaylor[2 * q] + kTaylor[2 * q + 1] * r;
    const float p = (pair[0] + r2 * pair[1]) + (r2 * r2) * (pair[2] + r2 * pair[3]);
    return p * std::bit_cast<float>((static_cast<std::int32_t>(n) + 127) << 23);
}

constexpr std::uint64_t Rotl(std::uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

// xoshiro256** on four words.
inline std::uint64_t Next(std::uint64_t* s) {
    const std::uint64_t result = Rotl(s[1] * 5, 7) * 9;
    const std::uint64_t t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = Rotl(s[3], 45);
    return result;
}

// The top 24 bits of a draw as a uniform in [0, 1).
inline float Uniform24(std::uint64_t draw) {
    return static_cast<float>(draw >> 40) * 0x1.0p-24f;
}

inline float WithSign(float z, std::uint32_t draw) {
    return std::bit_cast<float>(std::bit_cast<std::uint32_t>(z) ^ ((draw << 24) & 0x80000000u));
}

// Whether draw w lies inside its layer's rectangle; z its sample's size.
inline bool Inside(std::uint32_t w, float& z) {
    const std::uint32_t i = w & (kLayers - 1);
    const float place = static_cast<float>(w >> 8);
    z = place * kTables.width[i];
    return place < kTables.inner[i];
}

// The wedge test of sample size z of layer i >= 1 with uniform v.
inline bool UnderCurve(float z, std::uint32_t i, float v) {
    return v * kTables.span[i] < Exp((-0.5f * z) * z) - kTables.low[i];
}

// The base layer's tail beyond kTail by Marsaglia's method, uniforms in
// (0, 1] as noise.cpp's.
float TailSize(std::uint64_t* s) {
    auto uniform = [&] { return (static_cast<double>(Next(s) >> 11) + 1.0) * 0x1.0p-53; };
    double t, e;
    do {
        t = std::log(uniform()) / kTail;
        e = std::log(uniform());
    } while (-2.0 * e < t * t);
    return static_cast<float>(kTail - t);
}

// Tries from generator s until one is accepted, starting from try w that
// missed its rectangle: the tail, or the wedge test with the top 24 bits of
// the next draw as the uniform, then a new try from the low 32 bits of the
// next.
[[gnu::noinline]] float Fresh(std::uint64_t* s, std::uint32_t w) {
    for (;;) {
        float z;
        if (Inside(w, z)) return WithSign(z, w);
        const std::uint32_t i = w & (kLayers - 1);
        if (i == 0) return WithSign(TailSize(s), w);
        if (UnderCurve(z, i, Uniform24(Next(s)))) return WithSign(z, w);
        w = static_cast<std::uint32_t>(Next(s));
    }
}

// The sample of a draw w that missed its rectangle, given the first
// generator's next draw d: the base layer's tail from the second; the
// wedge's sample, when the top 24 bits of d as the uniform pass its test;
// or else a new try, the low 32 bits of d, finished from the second if it
// misses too.
inline float FinishMiss(std::uint64_t* second, std::uint32_t w, std::uint64_t d) {
    const std::uint32_t i = w & (kLayers - 1);
    if (i == 0) return WithSign(TailSize(second), w);
    float z;
    Inside(w, z);
    if (UnderCurve(z, i, Uniform24(d))) return WithSign(z, w);
    const std::uint32_t again = static_cast<std::uint32_t>(d);
    return Inside(again, z) ? WithSign(z, again) : Fresh(second, again);
}

// The source's words of the sixteen lanes.
struct View {
    std::uint64_t (*gen)[NoiseSource::kLanes]; // gen[w][l]: word w of generator l
    std::uint64_t* first;                      // the misses' uniforms
    std::uint64_t* second;                     // the tails and the rest
};

// `steps` steps, 16 samples each, to out: the plain oracle of the others.
void StepsScalar(const View& v, float* out, int steps) {
    for (int t = 0; t < steps; ++t, out += kWide) {
        for (int l = 0; l < NoiseSource::kLanes; ++l) {
            std::uint64_t s[4] = {v.gen[0][l], v.gen[1][l], v.gen[2][l], v.gen[3][l]};
            const std::uint64_t word = Next(s);
            for (int w = 0; w < 4; ++w) v.gen[w][l] = s[w];
            for (int h = 0; h < 2; ++h) {
                const std::uint32_t draw = static_cast<std::uint32_t>(word >> (32 * h));
                float z;
                out[2 * l + h] =
                    Inside(draw, z) ? WithSign(z, draw) : FinishMiss(v.second, draw, Next(v.first));
            }
        }
    }
}

// The vector loops work in blocks of steps, the misses of a block kept in
// order (their draws and places in the output) for the pass that finishes
// them.
constexpr int kBlockSteps = 256;

struct Misses {
    alignas(64) std::uint32_t draws[kBlockSteps * kWide + kWide];
    alignas(64) std::int32_t places[kBlockSteps * kWide + kWide];
    int count = 0;
};

void FinishMissesScalar(const View& v, const Misses& m, float* out) {
    for (int q = 0; q < m.count; ++q)
        out[m.places[q]] = FinishMiss(v.second, m.draws[q], Next(v.first));
}

#ifdef QUORVANE_LANES16_X86
// A table of 128 floats held in eight registers (or read from memory),
// looked up by bits 0-6 of each lane (b5, b6: the lanes whose bit 5, bit 6
// is set).
__attribute__((target("avx512f"), always_inline)) inline __m512 Look16(const __m512* t, __m512i at,
                                                                       __mmask16 b5, __mmask16 b6) {
    const __m512 a = _mm512_permutex2var_ps(t[0], at, t[1]);
    const __m512 b = _mm512_permutex2var_ps(t[2], at, t[3]);
    const __m512 c = _mm512_permutex2var_ps(t[4], at, t[5]);
    const __m512 d = _mm512_permutex2var_ps(t[6], at, t[7]);
    return _mm512_mask_blend_ps(b6, _mm512_mask_blend_ps(b5, a, b), _mm512_mask_blend_ps(b5, c, d));
}

__attribute__((target("avx512f"), always_inline)) inline __m512 Exp16(__m512 a) {
    const __m512 round = _mm512_set1_ps(kRound);
    const __m512 n =
        _mm512_sub_ps(_mm512_add_ps(_mm512_mul_ps(a, _mm512_set1_ps(kLog2e)), round), round);
    const __m512 r = _mm512_sub_ps(_mm512_sub_ps(a, _mm512_mul_ps(n, _mm512_set1_ps(kLn2Hi))),
                                   _mm512_mul_ps(n, _mm512_set1_ps(kLn2Lo)));
    const __m512 r2 = _mm512_mul_ps(r, r);
    __m512 pair[4];
    for (int q = 0; q < 4; ++q)
        pair[q] = _mm512_add_ps(_mm512_set1_ps(kTaylor[2 * q]),
                                _mm512_mul_ps(_mm512_set1_ps(kTaylor[2 * q + 1]), r));
    const __m512 p = _mm512_add_ps(
        _mm512_add_ps(pair[0], _mm512_mul_ps(r2, pair[1])),
        _mm512_mul_ps(_mm512_mul_ps(r2, r2), _mm512_add_ps(pair[2], _mm512_mul_ps(r2, pair[3]))));
    const __m512i e =
        _mm512_slli_epi32(_mm512_add_epi32(_mm512_cvttps_epi32(n), _mm512_set1_epi32(127)), 23);
    return _mm512_mul_ps(p, _mm512_castsi512_ps(e));
}

// FinishMissesScalar sixteen misses at a time: the wedge tests and the new
// tries side by side, the rest after them in order.
__attribute__((target("avx512f"))) void FinishMissesAvx512(const View& v, const Misses& m,
                                                           float* out) {
    const __m512* width = reinterpret_cast<const __m512*>(kTables.width);
    const __m512* low = reinterpret_cast<const __m512*>(kTables.low);
    const __m512* span = reinterpret_cast<const __m512*>(kTables.span);
    const __m512i bit5 = _mm512_set1_epi32(32), bit6 = _mm512_set1_epi32(64);
    const __m512i layerBits = _mm512_set1_epi32(kLayers - 1);
    const __m512i signBit = _mm512_set1_epi32(static_cast<int>(0x80000000u));
    for (int q = 0; q < m.count; q += kWide) {
        const int lanes = std::min(kWide, m.count - q);
        alignas(64) float uniforms[kWide] = {};
        alignas(64) std::uint32_t tries[kWide] = {};
        std::uint64_t first[4] = {v.first[0], v.first[1], v.first[2], v.first[3]};
        for (int j = 0; j < lanes; ++j) {
            const std::uint64_t d = Next(first);
            uniforms[j] = Uniform24(d);
            tries[j] = static_cast<std::uint32_t>(d);
        }
        std::copy(first, first + 4, v.first);
        const __m512i w = _mm512_load_si512(m.draws + q);
        const __mmask16 b5 = _mm512_test_epi32_mask(w, bit5);
        const __mmask16 b6 = _mm512_test_epi32_mask(w, bit6);
        const __m512 z =
            _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_srli_epi32(w, 8)), Look16(width, w, b5, b6));
        const __m512 e = Exp16(_mm512_mul_ps(_mm512_mul_ps(_mm512_set1_ps(-0.5f), z), z));
        const __mmask16 under = _mm512_mask_cmp_ps_mask(
            _mm512_test_epi32_mask(w, layerBits),
            _mm512_mul_ps(_mm512_load_ps(uniforms), Look16(span, w, b5, b6)),
            _mm512_sub_ps(e, Look16(low, w, b5, b6)), _CMP_LT_OQ);
        const __m512i sign = _mm512_and_si512(_mm512_slli_epi32(w, 24), signBit);
        // The failed wedge tests' new tries checked side by side; then every
        // lane's sample, then the few left (tails, and new tries that missed
        // too), in order.
        const unsigned all = (1u << lanes) - 1;
        const unsigned tails = _mm512_testn_epi32_mask(w, layerBits) & all;
        const unsigned failed = ~static_cast<unsigned>(under) & all & ~tails;
        const __m512i again = _mm512_load_si512(tries);
        const __mmask16 a5 = _mm512_test_epi32_mask(again, bit5);
        const __mmask16 a6 = _mm512_test_epi32_mask(again, bit6);
        const __m512 place = _mm512_cvtepi32_ps(_mm512_srli_epi32(again, 8));
        const __m512 z2 = _mm512_mul_ps(place, Look16(width, again, a5, a6));
        const __mmask16 inside = _mm512_mask_cmp_ps_mask(
            static_cast<__mmask16>(failed), place,
            Look16(reinterpret_cast<const __m512*>(kTables.inner), again, a5, a6), _CMP_LT_OQ);
        const __m512i sign2 = _mm512_and_si512(_mm512_slli_epi32(again, 24), signBit);
        const __m512 value = _mm512_mask_mov_ps(
            _mm512_castsi512_ps(_mm512_xor_si512(_mm512_castps_si512(z), sign)), inside,
            _mm512_castsi512_ps(_mm512_xor_si512(_mm512_castps_si512(z2), sign2)));
        alignas(64) float values[kWide];
        _mm512_store_ps(values, value);
        for (int j = 0; j < lanes; ++j) out[m.places[q + j]] = values[j];
        for (unsigned rest = (failed & ~static_cast<unsigned>(inside)) | tails; rest != 0;
             rest &= rest - 1) {
            const int j = std::countr_zero(rest);
            out[m.places[q + j]] = (tails >> j) & 1u ? WithSign(TailSize(v.second), m.draws[q + j])
                                                     : Fresh(v.second, tries[j]);
        }
    }
}

__attribute__((target("avx512f"))) void StepsAvx512(const View& v, float* out, int steps) {
    __m512i s0 = _mm512_load_si512(v.gen[0]), s1 = _mm512_load_si512(v.gen[1]);
    __m512i s2 = _mm512_load_si512(v.gen[2]), s3 = _mm512_load_si512(v.gen[3]);
    __m512 width[8], inner[8];
    for (int q = 0; q < 8; ++q) {
        width[q] = _mm512_load_ps(kTables.width + 16 * q);
        inner[q] = _mm512_load_ps(kTables.inner + 16 * q);
    }
    const __m512i bit5 = _mm512_set1_epi32(32), bit6 = _mm512_set1_epi32(64);
    const __m512i signBit = _mm512_set1_epi32(static_cast<int>(0x80000000u));
    const __m512i lanes = _mm512_set_epi32(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    Misses m;
    for (int first = 0; first < steps; first += kBlockSteps) {
        const int count = std::min(kBlockSteps, steps - first);
        float* block = out + kWide * first;
        int missing = 0; // in a register: the list's stores must not wait for each other
        __m512i at = lanes;
        for (int t = 0; t < count; ++t, at = _mm512_add_epi32(at, _mm512_set1_epi32(kWide))) {
            const __m512i five = _mm512_add_epi64(s1, _mm512_slli_epi64(s1, 2));
            const __m512i rotated = _mm512_rol_epi64(five, 7);
            const __m512i b = _mm512_add_epi64(rotated, _mm512_slli_epi64(rotated, 3));
            const __m512i shifted = _mm512_slli_epi64(s1, 17);
            s2 = _mm512_xor_si512(s2, s0);
            s3 = _mm512_xor_si512(s3, s1);
            s1 = _mm512_xor_si512(s1, s2);
            s0 = _mm512_xor_si512(s0, s3);
            s2 = _mm512_xor_si512(s2, shifted);
            s3 = _mm512_rol_epi64(s3, 45);

            const __m512 place = _mm512_cvtepi32_ps(_mm512_srli_epi32(b, 8));
            const __mmask16 b5 = _mm512_test_epi32_mask(b, bit5);
            const __mmask16 b6 = _mm512_test_epi32_mask(b, bit6);
            const __m512 z = _mm512_mul_ps(place, Look16(width, b, b5, b6));
            const __mmask16 missed =
                _mm512_cmp_ps_mask(place, Look16(inner, b, b5, b6), _CMP_NLT_UQ);
            const __m512i sign = _mm512_and_si512(_mm512_slli_epi32(b, 24), signBit);
            _mm512_storeu_ps(block + kWide * t,
                             _mm512_castsi512_ps(_mm512_xor_si512(_mm512_castps_si512(z), sign)));
            // The misses join the block's list in order, without a branch.
            _mm512_storeu_si512(m.draws + missing, _mm512_maskz_compress_epi32(missed, b));
            _mm512_storeu_si512(m.places + missing, _mm512_maskz_compress_epi32(missed, at));
            missing += std::popcount(static_cast<unsigned>(missed));
        }
        m.count = missing;
        FinishMissesAvx512(v, m, block);
    }
    _mm512_store_si512(v.gen[0], s0), _mm512_store_si512(v.gen[1], s1);
    _mm512_store_si512(v.gen[2], s2), _mm512_store_si512(v.gen[3], s3);
}

// AVX2: two registers of eight lanes; no 64-bit rotation, and the tables
// by gathers.
__attribute__((target("avx2"), always_inline)) inline __m256i Rotl4(__m256i x, int k) {
    return _mm256_or_si256(_mm256_slli_epi64(x, k), _mm256_srli_epi64(x, 64 - k));
}

__attribute__((target("avx2"))) void StepsAvx2(const View& v, float* out, int steps) {
    __m256i s[2][4];
    for (int h = 0; h < 2; ++h)
        for (int w = 0; w < 4; ++w)
            s[h][w] = _mm256_load_si256(reinterpret_cast<const __m256i*>(v.gen[w] + 4 * h));
    const __m256i layerBits = _mm256_set1_epi32(kLayers - 1);
    const __m256i signBit = _mm256_set1_epi32(static_cast<int>(0x80000000u));
    Misses m;
    for (int first = 0; first < steps; first += kBlockSteps) {
        const int count = std::min(kBlockSteps, steps - first);
        float* block = out + kWide * first;
        m.count = 0;
        for (int t = 0; t < count; ++t) {
            for (int h = 0; h < 2; ++h) {
                __m256i& s0 = s[h][0];
                __m256i& s1 = s[h][1];
                __m256i& s2 = s[h][2];
                __m256i& s3 = s[h][3];
                const __m256i rotated = Rotl4(_mm256_add_epi64(s1, _mm256_slli_epi64(s1, 2)), 7);
                const __m256i b = _mm256_add_epi64(rotated, _mm256_slli_epi64(rotated, 3));
                const __m256i shifted = _mm256_slli_epi64(s1, 17);
                s2 = _mm256_xor_si256(s2, s0);
                s3 = _mm256_xor_si256(s3, s1);
                s1 = _mm256_xor_si256(s1, s2);
                s0 = _mm256_xor_si256(s0, s3);
                s2 = _mm256_xor_si256(s2, shifted);
                s3 = Rotl4(s3, 45);

                const __m256i at = _mm256_and_si256(b, layerBits);
                const __m256 place = _mm256_cvtepi32_ps(_mm256_srli_epi32(b, 8));
                const __m256 z = _mm256_mul_ps(place, _mm256_i32gather_ps(kTables.width, at, 4));
                const __m256 in =
                    _mm256_cmp_ps(place, _mm256_i32gather_ps(kTables.inner, at, 4), _CMP_LT_OQ);
                const __m256i sign = _mm256_and_si256(_mm256_slli_epi32(b, 24), signBit);
                _mm256_storeu_ps(block + kWide * t + 8 * h, _mm256_castsi256_ps(_mm256_xor_si256(
                                                                _mm256_castps_si256(z), sign)));
                unsigned missed = ~static_cast<unsigned>(_mm256_movemask_ps(in)) & 0xFFu;
                if (missed != 0) {
                    alignas(32) std::uint32_t draws[8];
                    _mm256_store_si256(reinterpret_cast<__m256i*>(draws), b);
                    for (; missed != 0; missed &= missed - 1) {
                        const int j = std::countr_zero(missed);
                        m.draws[m.count] = draws[j];
                        m.places[m.count++] = kWide * t + 8 * h + j;
                    }
                }
            }
        }
        FinishMissesScalar(v, m, block);
    }
    for (int h = 0; h < 2; ++h)
        for (int w = 0; w < 4; ++w)
            _mm256_store_si256(reinterpret_cast<__m256i*>(v.gen[w] + 4 * h), s[h][w]);
}

__attribute__((target("avx512f"))) void AddScaledAvx512(const float* clean, const float* z, int n,
                                                        double sigma, float* received) {
    const __m512d s = _mm512_set1_pd(sigma);
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m512d y = _mm512_add_pd(_mm512_cvtps_pd(_mm256_loadu_ps(clean + k)),
                                        _mm512_mul_pd(s, _mm512_cvtps_pd(_mm256_loadu_ps(z + k))));
        _mm256_storeu_ps(received + k, _mm512_cvtpd_ps(y));
    }
    for (; k < n; ++k)
        received[k] = static_cast<float>(static_cast<double>(clean[k]) + sigma * z[k]);
}

__attribute__((target("avx2"))) void AddScaledAvx2(const float* clean, const float* z, int n,
                                                   double sigma, float* received) {
    const __m256d s = _mm256_set1_pd(sigma);
    int k = 0;
    for (; k + 4 <= n; k += 4) {
        const __m256d y = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(clean + k)),
                                        _mm256_mul_pd(s, _mm256_cvtps_pd(_mm_loadu_ps(z + k))));
        _mm_storeu_ps(received + k, _mm256_cvtpd_ps(y));
    }
    for (; k < n; ++k)
        received[k] = static_cast<float>(static_cast<double>(clean[k]) + sigma * z[k]);
}
#endif

NoiseSource::Path BestPath() {
    static const NoiseSource::Path best =
        NoiseSource::Runs(NoiseSource::Path::kAvx512) ? NoiseSource::Path::kAvx512
        : NoiseSource::Runs(NoiseSource::Path::kAvx2) ? NoiseSource::Path::kAvx2
                                                      : NoiseSource::Path::kScalar;
    return best;
}

} // namespace

void NoiseSource::NormalsLanes16(float* z, int n) {
    NormalsLanes16(z, n, BestPath());
}

void NoiseSource::NormalsLanes16(float* z, int n, Path path) {
    const View v{wide_, rare_, rare_ + 4};
    auto steps = [&](float* out, int count) {
#ifdef QUORVANE_LANES16_X86
        if (path == Path::kAvx512) return StepsAvx512(v, out, count);
        if (path == Path::kAvx2) return StepsAvx2(v, out, count);
#endif
        StepsScalar(v, out, count);
    };
    // First what the last call drew and left.
    int k = std::min(carried_, std::max(n, 0));
    std::copy(carry_, carry_ + k, z);
    std::copy(carry_ + k, carry_ + carried_, carry_);
    carried_ -= k;
    if (k >= n) return;
    const int whole = (n - k) / kWide;
    steps(z + k, whole);
    k += kWide * whole;
    if (k == n) return;
    // A last step through a buffer: what it draws beyond n waits.
    float step[kWide];
    steps(step, 1);
    std::copy(step, step + (n - k), z + k);
    carried_ = kWide - (n - k);
    std::copy(step + (n - k), step + kWide, carry_);
}

void NoiseSource::AddNoiseLanes16(const float* clean, float* received, int n, double sigma) {
    AddNoiseLanes16(clean, received, n, sigma, BestPath());
}

void NoiseSource::AddNoiseLanes16(const float* clean, float* received, int n, double sigma,
                                  Path path) {
    constexpr int kBlock = 1024;
    alignas(64) float z[kBlock];
    for (int at = 0; at < n; at += kBlock) {
        const int len = std::min(kBlock, n - at);
        NormalsLanes16(z, len, path);
        int k = 0;
#ifdef QUORVANE_LANES16_X86
        if (path == Path::kAvx512) {
            AddScaledAvx512(clean + at, z, len, sigma, received + at);
            k = len;
        }
        if (path == Path::kAvx2) {
            AddScaledAvx2(clean + at, z, len, sigma, received + at);
            k = len;
        }
#endif
        for (; k < len; ++k)
            received[at + k] =
                static_cast<float>(static_cast<double>(clean[at + k]) + sigma * z[k]);
    }
}

} // namespace channel
