#include "channel/noise.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

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

struct Layer {
    double x;
    double ratio;
};

struct Ziggurat {
    std::array<Layer, kLayers + 1> layer{};
    Ziggurat() {
        double f = std::exp(-0.5 * kTail * kTail);
        layer[0].x = kArea / f;
        layer[1].x = kTail;
        layer[kLayers].x = 0.0;
        for (int i = 2; i < kLayers; ++i) {
            layer[i].x = std::sqrt(-2.0 * std::log(kArea / layer[i - 1].x + f));
            f = std::exp(-0.5 * layer[i].x * layer[i].x);
        }
        for (int i = 0; i < kLayers; ++i) layer[i].ratio = layer[i + 1].x / layer[i].x;
    }
};

const Ziggurat kZig;

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

// bytes[v]: byte j is bit j of v, so that in memory (little-endian) the bits
// of v come out as eight 0/1 bytes in order.
struct BitBytes {
    std::array<std::uint64_t, 256> bytes{};
    BitBytes() {
        for (unsigned v = 0; v < 256; ++v)
            for (unsigned j = 0; j < 8; ++j)
                bytes[v] |= static_cast<std::uint64_t>((v >> j) & 1u) << (8 * j);
    }
};

const BitBytes kBitBytes;

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

} // namespace

NoiseSource::NoiseSource(std::uint64_t seed, std::uint64_t stream) {
    std::uint64_t x = seed;
    std::uint64_t mixed = SplitMix(x);
    x = mixed ^ stream;
    mixed = SplitMix(x);
    x = mixed;
    for (auto& w : s_) w = SplitMix(x);
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
