#include "channel/noise.h"

#include <array>
#include <cmath>

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

// The ziggurat of the half-normal density f(x) = exp(-x^2 / 2), 128 layers of
// equal area kArea, the base layer's tail beginning at kTail (Marsaglia and
// Tsang; layout after Doornik). x[i] is the right edge of layer i, x[0] the
// width the base layer would have as a rectangle; ratio[i] = x[i+1] / x[i]
// is how much of layer i lies wholly under the curve.
constexpr int kLayers = 128;
constexpr double kTail = 3.442619855899;
constexpr double kArea = 9.91256303526217e-3;

struct Ziggurat {
    std::array<double, kLayers + 1> x{};
    std::array<double, kLayers> ratio{};
    Ziggurat() {
        double f = std::exp(-0.5 * kTail * kTail);
        x[0] = kArea / f;
        x[1] = kTail;
        x[kLayers] = 0.0;
        for (int i = 2; i < kLayers; ++i) {
            x[i] = std::sqrt(-2.0 * std::log(kArea / x[i - 1] + f));
            f = std::exp(-0.5 * x[i] * x[i]);
        }
        for (int i = 0; i < kLayers; ++i) ratio[i] = x[i + 1] / x[i];
    }
};

const Ziggurat kZig;

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
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
}

double NoiseSource::UniformOpenZero() {
    return (static_cast<double>(Bits() >> 11) + 1.0) * 0x1.0p-53;
}

double NoiseSource::Normal() {
    for (;;) {
        const std::uint64_t b = Bits();
        // The top 53 bits give u in [-1, 1), the low 7 bits the layer.
        const double u = static_cast<double>(b >> 11) * 0x1.0p-52 - 1.0;
        const int i = static_cast<int>(b & (kLayers - 1));
        if (std::fabs(u) < kZig.ratio[i]) return u * kZig.x[i];
        if (i == 0) {
            // The tail beyond kTail, by Marsaglia's exponential method.
            double t, e;
            do {
                t = std::log(UniformOpenZero()) / kTail;
                e = std::log(UniformOpenZero());
            } while (-2.0 * e < t * t);
            return u < 0 ? t - kTail : kTail - t;
        }
        // The wedge between the layer's inner rectangle and the curve.
        const double x = u * kZig.x[i];
        const double f0 = std::exp(-0.5 * (kZig.x[i] * kZig.x[i] - x * x));
        const double f1 = std::exp(-0.5 * (kZig.x[i + 1] * kZig.x[i + 1] - x * x));
        if (f1 + UniformOpenZero() * (f0 - f1) < 1.0) return x;
    }
}

void NoiseSource::AddNoise(const std::int8_t* ideal, float* received, int n, double sigma) {
    for (int k = 0; k < n; ++k)
        received[k] = static_cast<float>(static_cast<double>(ideal[k]) + sigma * Normal());
}

void NoiseSource::RandomBits(std::uint8_t* bits, int n) {
    int k = 0;
    while (k < n) {
        std::uint64_t w = Bits();
        const int take = n - k < 64 ? n - k : 64;
        for (int j = 0; j < take; ++j, w >>= 1) bits[k++] = static_cast<std::uint8_t>(w & 1u);
    }
}

} // namespace channel
