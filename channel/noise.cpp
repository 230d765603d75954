#include "channel/noise.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "channel/bit_bytes.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// GCC 12's AVX-512 intrinsics start from undefined vectors, which it reports
// as "may be used uninitialized" wherever they are inlined (GCC bug 105593).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#define QUORVANE_NOISE_X86 1
#endif

namespace channel {

namespace {

constexpr std::uint64_t Rotl(std::uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
}

// splitmix64: one step of the seeding generator.
constexpr std::uint64_t SplitMix(std::uint64_t& x) {
    x += 0x9E3779B97F4A7C15ull;
    std::uint64_t z = x;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The ziggurat of the half-normal density f(x) = exp(-x^2 / 2), 256 layers of
// equal area kArea, the base layer's tail beginning at kTail (Marsaglia and
// Tsang; layout after Doornik). x is the right edge of a layer, layer 0's x
// the width the base layer would have as a rectangle; ratio = next x / x is
// how much of the layer lies wholly under the curve. The two sit side by
// side so that the common case reads one table entry. kTail is the root of
// "the top layer, from 0 to its edge, has area kArea", and kArea =
// kTail f(kTail) + the tail's area, both to double precision.
constexpr int kLayers = 256;
constexpr double kTail = 3.6541528853610088;
constexpr double kArea = 4.928673233974655e-3;
// The lanes' ziggurat has 1024 layers: a sample misses its layer's rectangle
// 0.43 % of the time instead of 1.49 %. The same two roots for it.
constexpr int kLaneLayers = 1024;
constexpr double kLaneTail = 4.038849846109505;
constexpr double kLaneArea = 1.2263246463530852e-3;

struct Layer {
    double x;
    double ratio;
};

template <int kCount> struct Ziggurat {
    std::array<Layer, kCount + 1> layer{};
    // density[i] = f(x of layer i), for the lanes' wedge test.
    std::array<double, kCount + 1> density{};
    Ziggurat(double tail, double area) {
        double f = std::exp(-0.5 * tail * tail);
        layer[0].x = area / f;
        layer[1].x = tail;
        layer[kCount].x = 0.0;
        for (int i = 2; i < kCount; ++i) {
            layer[i].x = std::sqrt(-2.0 * std::log(area / layer[i - 1].x + f));
            f = std::exp(-0.5 * layer[i].x * layer[i].x);
        }
        for (int i = 0; i < kCount; ++i) layer[i].ratio = layer[i + 1].x / layer[i].x;
        for (int i = 1; i <= kCount; ++i) density[i] = std::exp(-0.5 * layer[i].x * layer[i].x);
    }
};

const Ziggurat<kLayers> kZig(kTail, kArea);
const Ziggurat<kLaneLayers> kLaneZig(kLaneTail, kLaneArea);

// The generator's state as four values rather than an array, so that a loop
// over samples keeps it in registers. StateRef works on the object's own
// words in place: a single draw is not worth the copies in and out (nor the
// mismatched load and store widths the compiler picks for them).
struct State {
    std::uint64_t s0, s1, s2, s3;
};

struct StateRef {
    std::uint64_t &s0, &s1, &s2, &s3;
};

template <typename S> inline std::uint64_t Next(S& s) {
    const std::uint64_t result = Rotl(s.s1 * 5, 7) * 9;
    const std::uint64_t t = s.s1 << 17;
    s.s2 ^= s.s0;
    s.s3 ^= s.s1;
    s.s1 ^= s.s2;
    s.s0 ^= s.s3;
    s.s2 ^= t;
    s.s3 = Rotl(s.s3, 45);
    return result;
}

// A uniform double in (0, 1]: never 0, so its logarithm is finite.
inline double UniformOpenZero(State& s) {
    return (static_cast<double>(Next(s) >> 11) + 1.0) * 0x1.0p-53;
}

// The top 53 bits of a draw give u in [-1, 1), the low 8 bits the layer.
inline double Signed(std::uint64_t b) {
    return static_cast<double>(b >> 11) * 0x1.0p-52 - 1.0;
}

struct Drawn {
    double value;
    State state;
};

// Everything but the common case, starting from draw b that missed its
// layer's inner rectangle. Kept out of line (and the state passed by value)
// so that the caller's loop stays small and its state stays in registers.
[[gnu::noinline]] Drawn NormalAfterMiss(State s, std::uint64_t b) {
    for (;;) {
        const double u = Signed(b);
        const int i = static_cast<int>(b & (kLayers - 1));
        const Layer& l = kZig.layer[static_cast<std::size_t>(i)];
        if (std::fabs(u) < l.ratio) return {u * l.x, s};
        if (i == 0) {
            // The tail beyond kTail, by Marsaglia's exponential method.
            double t, e;
            do {
                t = std::log(UniformOpenZero(s)) / kTail;
                e = std::log(UniformOpenZero(s));
            } while (-2.0 * e < t * t);
            return {u < 0 ? t - kTail : kTail - t, s};
        }
        // The wedge between the layer's inner rectangle and the curve.
        const double xi = l.x;
        const double xn = kZig.layer[static_cast<std::size_t>(i) + 1].x;
        const double x = u * xi;
        const double f0 = std::exp(-0.5 * (xi * xi - x * x));
        const double f1 = std::exp(-0.5 * (xn * xn - x * x));
        if (f1 + UniformOpenZero(s) * (f0 - f1) < 1.0) return {x, s};
        b = Next(s);
    }
}

template <typename S> inline double DrawNormal(S& s) {
    const std::uint64_t b = Next(s);
    const double u = Signed(b);
    const Layer& l = kZig.layer[b & (kLayers - 1)];
    if (std::fabs(u) < l.ratio) [[likely]]
        return u * l.x;
    const Drawn d = NormalAfterMiss(State{s.s0, s.s1, s.s2, s.s3}, b);
    s.s0 = d.state.s0, s.s1 = d.state.s1, s.s2 = d.state.s2, s.s3 = d.state.s3;
    return d.value;
}

// ---- Eight generators side by side -----------------------------------------
// Lane l has two generators: the first gives one draw to every sample, the
// second serves the rare samples whose draw misses its layer's rectangle
// (LaneAfterMiss draws from it). So the vector loop
// never waits on a miss: it marks the lanes that missed, and a scalar pass
// finishes those samples afterwards. The vector code does the scalar
// operations in each lane (the multiplications by 5 and 9 as shifts and
// additions, which give the same 64-bit products) and takes every layer with
// a gather.
using Lanes = std::uint64_t[4][NoiseSource::kLanes];

// NormalAfterMiss with one exponential per wedge test: a point of the wedge
// of layer i at height f(x_i) + v (f(x_{i+1}) - f(x_i)), v uniform, lies under
// the curve when that height is below f(x) (the serial stream's test divides
// both sides by f(x), at the cost of a second exponential).
[[gnu::noinline]] Drawn LaneAfterMiss(State s, std::uint64_t b) {
    for (;;) {
        const double u = Signed(b);
        const int i = static_cast<int>(b & (kLaneLayers - 1));
        const Layer& l = kLaneZig.layer[static_cast<std::size_t>(i)];
        if (std::fabs(u) < l.ratio) return {u * l.x, s};
        if (i == 0) {
            double t, e;
            do {
                t = std::log(UniformOpenZero(s)) / kLaneTail;
                e = std::log(UniformOpenZero(s));
            } while (-2.0 * e < t * t);
            return {u < 0 ? t - kLaneTail : kLaneTail - t, s};
        }
        const double x = u * l.x;
        const double low = kLaneZig.density[static_cast<std::size_t>(i)];
        const double high = kLaneZig.density[static_cast<std::size_t>(i) + 1];
        if (high + UniformOpenZero(s) * (low - high) < std::exp(-0.5 * x * x)) return {x, s};
        b = Next(s);
    }
}

inline double SlowLane(Lanes& slow, int l, std::uint64_t b) {
    const Drawn d = LaneAfterMiss(State{slow[0][l], slow[1][l], slow[2][l], slow[3][l]}, b);
    slow[0][l] = d.state.s0, slow[1][l] = d.state.s1, slow[2][l] = d.state.s2;
    slow[3][l] = d.state.s3;
    return d.value;
}

inline double LaneNormal(Lanes& fast, Lanes& slow, int l) {
    State s{fast[0][l], fast[1][l], fast[2][l], fast[3][l]};
    const std::uint64_t b = Next(s);
    fast[0][l] = s.s0, fast[1][l] = s.s1, fast[2][l] = s.s2, fast[3][l] = s.s3;
    const double u = Signed(b);
    const Layer& layer = kLaneZig.layer[b & (kLaneLayers - 1)];
    if (std::fabs(u) < layer.ratio) return u * layer.x;
    return SlowLane(slow, l, b);
}

// The vector loops work in blocks of this many groups of eight samples, the
// draws and the lanes that missed kept for the pass that finishes them.
constexpr int kBlockGroups = 64;

struct Misses {
    alignas(64) std::uint64_t bits[kBlockGroups][NoiseSource::kLanes];
    std::uint8_t lanes[kBlockGroups];
};

// Finishes the samples of `groups` groups from `first` on whose lanes missed.
void FinishMisses(Lanes& slow, const Misses& m, int groups, const float* clean, float* received,
                  int first, double sigma) {
    for (int g = 0; g < groups; ++g) {
        for (unsigned missed = m.lanes[g]; missed != 0; missed &= missed - 1) {
            const int l = std::countr_zero(missed);
            const int k = first + NoiseSource::kLanes * g + l;
            received[k] = static_cast<float>(static_cast<double>(clean[k]) +
                                             sigma * SlowLane(slow, l, m.bits[g][l]));
        }
    }
}

#ifdef QUORVANE_NOISE_X86
__attribute__((target("avx512f,avx512dq"))) int
LanesAvx512(Lanes& lane, Lanes& slow, const float* clean, float* received, int n, double sigma) {
    __m512i s0 = _mm512_load_si512(lane[0]), s1 = _mm512_load_si512(lane[1]);
    __m512i s2 = _mm512_load_si512(lane[2]), s3 = _mm512_load_si512(lane[3]);
    const __m512d vsigma = _mm512_set1_pd(sigma), scale = _mm512_set1_pd(0x1.0p-52);
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512i layerMask = _mm512_set1_epi64(kLaneLayers - 1);
    const double* xs = &kLaneZig.layer[0].x;
    const double* ratios = &kLaneZig.layer[0].ratio;
    Misses m;
    int k = 0;
    while (k + NoiseSource::kLanes <= n) {
        const int first = k;
        int g = 0;
        for (; g < kBlockGroups && k + NoiseSource::kLanes <= n; ++g, k += NoiseSource::kLanes) {
            const __m512i five = _mm512_add_epi64(s1, _mm512_slli_epi64(s1, 2));
            const __m512i rotated = _mm512_rol_epi64(five, 7);
            const __m512i b = _mm512_add_epi64(rotated, _mm512_slli_epi64(rotated, 3));
            const __m512i t = _mm512_slli_epi64(s1, 17);
            s2 = _mm512_xor_si512(s2, s0);
            s3 = _mm512_xor_si512(s3, s1);
            s1 = _mm512_xor_si512(s1, s2);
            s0 = _mm512_xor_si512(s0, s3);
            s2 = _mm512_xor_si512(s2, t);
            s3 = _mm512_rol_epi64(s3, 45);
            const __m512d u = _mm512_sub_pd(
                _mm512_mul_pd(_mm512_cvtepu64_pd(_mm512_srli_epi64(b, 11)), scale), one);
            // Layer i's edge and ratio sit at doubles 2i and 2i + 1.
            const __m512i at = _mm512_slli_epi64(_mm512_and_si512(b, layerMask), 1);
            const __m512d x = _mm512_i64gather_pd(at, xs, 8);
            const __m512d ratio = _mm512_i64gather_pd(at, ratios, 8);
            const __mmask8 inside = _mm512_cmp_pd_mask(_mm512_abs_pd(u), ratio, _CMP_LT_OQ);
            _mm512_store_si512(m.bits[g], b);
            m.lanes[g] = static_cast<std::uint8_t>(~inside);
            const __m512d y = _mm512_add_pd(_mm512_cvtps_pd(_mm256_loadu_ps(clean + k)),
                                            _mm512_mul_pd(vsigma, _mm512_mul_pd(u, x)));
            _mm256_storeu_ps(received + k, _mm512_cvtpd_ps(y));
        }
        FinishMisses(slow, m, g, clean, received, first, sigma);
    }
    _mm512_store_si512(lane[0], s0), _mm512_store_si512(lane[1], s1);
    _mm512_store_si512(lane[2], s2), _mm512_store_si512(lane[3], s3);
    return k;
}

// AVX2: the eight lanes as two registers of four. It has no 64-bit rotation
// and no exact conversion of 53-bit integers to double, so the first is two
// shifts and the second goes through two halves of 27 and 26 bits, each made
// a double by putting it under the exponent of 2^52.
__attribute__((target("avx2"), always_inline)) inline __m256i Rotl4(__m256i x, int k) {
    return _mm256_or_si256(_mm256_slli_epi64(x, k), _mm256_srli_epi64(x, 64 - k));
}

__attribute__((target("avx2"), always_inline)) inline __m256d Exact53(__m256i v) {
    const __m256i magic = _mm256_set1_epi64x(0x4330000000000000ll);
    const __m256d two52 = _mm256_set1_pd(0x1.0p52);
    const __m256d hi =
        _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(_mm256_srli_epi64(v, 26), magic)), two52);
    const __m256d lo =
        _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(
                          _mm256_and_si256(v, _mm256_set1_epi64x((1ll << 26) - 1)), magic)),
                      two52);
    return _mm256_add_pd(_mm256_mul_pd(hi, _mm256_set1_pd(0x1.0p26)), lo);
}

__attribute__((target("avx2"))) int LanesAvx2(Lanes& lane, Lanes& slow, const float* clean,
                                              float* received, int n, double sigma) {
    __m256i s[2][4];
    for (int h = 0; h < 2; ++h)
        for (int w = 0; w < 4; ++w)
            s[h][w] = _mm256_load_si256(reinterpret_cast<const __m256i*>(lane[w] + 4 * h));
    const __m256d vsigma = _mm256_set1_pd(sigma), scale = _mm256_set1_pd(0x1.0p-52);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256i layerMask = _mm256_set1_epi64x(kLaneLayers - 1);
    const double* xs = &kLaneZig.layer[0].x;
    const double* ratios = &kLaneZig.layer[0].ratio;
    Misses m;
    int k = 0;
    while (k + NoiseSource::kLanes <= n) {
        const int first = k;
        int g = 0;
        for (; g < kBlockGroups && k + NoiseSource::kLanes <= n; ++g, k += NoiseSource::kLanes) {
            unsigned inside = 0;
            for (int h = 0; h < 2; ++h) {
                __m256i& s0 = s[h][0];
                __m256i& s1 = s[h][1];
                __m256i& s2 = s[h][2];
                __m256i& s3 = s[h][3];
                const __m256i rotated = Rotl4(_mm256_add_epi64(s1, _mm256_slli_epi64(s1, 2)), 7);
                const __m256i b = _mm256_add_epi64(rotated, _mm256_slli_epi64(rotated, 3));
                const __m256i t = _mm256_slli_epi64(s1, 17);
                s2 = _mm256_xor_si256(s2, s0);
                s3 = _mm256_xor_si256(s3, s1);
                s1 = _mm256_xor_si256(s1, s2);
                s0 = _mm256_xor_si256(s0, s3);
                s2 = _mm256_xor_si256(s2, t);
                s3 = Rotl4(s3, 45);
                const __m256d u =
                    _mm256_sub_pd(_mm256_mul_pd(Exact53(_mm256_srli_epi64(b, 11)), scale), one);
                const __m256i at = _mm256_slli_epi64(_mm256_and_si256(b, layerMask), 1);
                const __m256d x = _mm256_i64gather_pd(xs, at, 8);
                const __m256d ratio = _mm256_i64gather_pd(ratios, at, 8);
                const __m256d below = _mm256_cmp_pd(_mm256_andnot_pd(sign, u), ratio, _CMP_LT_OQ);
                inside |= static_cast<unsigned>(_mm256_movemask_pd(below)) << (4 * h);
                _mm256_store_si256(reinterpret_cast<__m256i*>(m.bits[g] + 4 * h), b);
                const __m256d y = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(clean + k + 4 * h)),
                                                _mm256_mul_pd(vsigma, _mm256_mul_pd(u, x)));
                _mm_storeu_ps(received + k + 4 * h, _mm256_cvtpd_ps(y));
            }
            m.lanes[g] = static_cast<std::uint8_t>(~inside);
        }
        FinishMisses(slow, m, g, clean, received, first, sigma);
    }
    for (int h = 0; h < 2; ++h)
        for (int w = 0; w < 4; ++w)
            _mm256_store_si256(reinterpret_cast<__m256i*>(lane[w] + 4 * h), s[h][w]);
    return k;
}

#endif

} // namespace

NoiseSource::NoiseSource(std::uint64_t seed, std::uint64_t stream) {
    std::uint64_t x = seed;
    std::uint64_t mixed = SplitMix(x);
    x = mixed ^ stream;
    mixed = SplitMix(x);
    x = mixed;
    for (auto& w : s_) w = SplitMix(x);
    for (int l = 0; l < kLanes; ++l) {
        for (auto& w : lane_) w[l] = SplitMix(x);
        for (auto& w : slow_) w[l] = SplitMix(x);
    }
    for (int l = 0; l < kLanes; ++l)
        for (auto& w : wide_) w[l] = SplitMix(x);
    for (auto& w : rare_) w = SplitMix(x);
    // xoshiro's only bad state is all zeros; splitmix output never gives four.
}

std::uint64_t NoiseSource::Bits() {
    StateRef s{s_[0], s_[1], s_[2], s_[3]};
    return Next(s);
}

double NoiseSource::Normal() {
    StateRef s{s_[0], s_[1], s_[2], s_[3]};
    return DrawNormal(s);
}

void NoiseSource::Normals(double* out, int n) {
    State s{s_[0], s_[1], s_[2], s_[3]};
    for (int k = 0; k < n; ++k) out[k] = DrawNormal(s);
    s_[0] = s.s0, s_[1] = s.s1, s_[2] = s.s2, s_[3] = s.s3;
}

void NoiseSource::AddNoise(const float* clean, float* received, int n, double sigma) {
    State s{s_[0], s_[1], s_[2], s_[3]};
    for (int k = 0; k < n; ++k)
        received[k] = static_cast<float>(static_cast<double>(clean[k]) + sigma * DrawNormal(s));
    s_[0] = s.s0, s_[1] = s.s1, s_[2] = s.s2, s_[3] = s.s3;
}

bool NoiseSource::Runs(Path path) {
    switch (path) {
    case Path::kScalar:
        return true;
#ifdef QUORVANE_NOISE_X86
    case Path::kAvx2:
        return __builtin_cpu_supports("avx2");
    case Path::kAvx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
#endif
    default:
        return false;
    }
}

void NoiseSource::AddNoiseLanes(const float* clean, float* received, int n, double sigma) {
    static const Path best = Runs(Path::kAvx512) ? Path::kAvx512
                             : Runs(Path::kAvx2) ? Path::kAvx2
                                                 : Path::kScalar;
    AddNoiseLanes(clean, received, n, sigma, best);
}

void NoiseSource::AddNoiseLanes(const float* clean, float* received, int n, double sigma,
                                Path path) {
    int k = 0;
#ifdef QUORVANE_NOISE_X86
    if (path == Path::kAvx512) k = LanesAvx512(lane_, slow_, clean, received, n, sigma);
    if (path == Path::kAvx2) k = LanesAvx2(lane_, slow_, clean, received, n, sigma);
#endif
    (void)path;
    for (; k < n; ++k)
        received[k] = static_cast<float>(static_cast<double>(clean[k]) +
                                         sigma * LaneNormal(lane_, slow_, k % kLanes));
}

void NoiseSource::RandomWords(std::uint64_t* words, int count) {
    State s{s_[0], s_[1], s_[2], s_[3]};
    for (int w = 0; w < count; ++w) words[w] = Next(s);
    s_[0] = s.s0, s_[1] = s.s1, s_[2] = s.s2, s_[3] = s.s3;
}

void NoiseSource::RandomBits(std::uint8_t* bits, int n) {
    State s{s_[0], s_[1], s_[2], s_[3]};
    int k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Whole words a byte at a time: eight bits to eight 0/1 bytes by table.
        for (; k + 64 <= n; k += 64) {
            const std::uint64_t w = Next(s);
            for (int j = 0; j < 8; ++j) {
                const std::uint64_t spread = kBitBytes.bytes[(w >> (8 * j)) & 255u];
                std::memcpy(bits + k + 8 * j, &spread, 8);
            }
        }
    }
    while (k < n) {
        std::uint64_t w = Next(s);
        const int take = n - k < 64 ? n - k : 64;
        for (int j = 0; j < take; ++j, w >>= 1) bits[k++] = static_cast<std::uint8_t>(w & 1u);
    }
    s_[0] = s.s0, s_[1] = s.s1, s_[2] = s.s2, s_[3] = s.s3;
}

} // namespace channel
