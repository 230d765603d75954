#include "channel/noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "channel/bounds.h"

// Statistical checks use fixed seeds and bounds of five standard deviations
// of the count or more, which a correct program misses less than once in
// 10^6 seeds.
namespace channel {
namespace {

TEST(Noise, GaussianMomentsAndTails) {
    NoiseSource noise(3, 7);
    const int n = 1 << 20;
    double sum = 0, sq = 0;
    int beyond[3] = {};
    const double edge[3] = {1.0, 3.0, 3.6}; // 3.6: past the ziggurat's base layer
    for (int i = 0; i < n; ++i) {
        const double x = noise.Normal();
        sum += x;
        sq += x * x;
        for (int j = 0; j < 3; ++j) beyond[j] += std::fabs(x) > edge[j];
    }
    EXPECT_NEAR(sum / n, 0.0, 5 / std::sqrt(n));
    EXPECT_NEAR(sq / n, 1.0, 5 * std::sqrt(2.0 / n));
    for (int j = 0; j < 3; ++j) {
        const double p = 2 * QFunction(edge[j]);
        EXPECT_NEAR(beyond[j], n * p, 5 * std::sqrt(n * p * (1 - p))) << edge[j];
    }
    std::vector<std::uint8_t> bits(n);
    noise.RandomBits(bits.data(), n - 3);
    long ones = 0, zeros = 0, other = 0;
    for (int i = 0; i < n - 3; ++i) (bits[i] == 1 ? ones : bits[i] == 0 ? zeros : other) += 1;
    EXPECT_EQ(other, 0);
    EXPECT_NEAR(ones, (n - 3) / 2.0, 5 * std::sqrt(n / 4.0));
}

TEST(Noise, StreamsAreReproducibleAndAddNoiseDrawsOneDeviatePerSample) {
    NoiseSource a(1, 0), b(1, 0), c(1, 1), d(2, 0);
    for (int i = 0; i < 100; ++i) {
        const std::uint64_t x = a.Bits();
        EXPECT_TRUE(x == b.Bits() && x != c.Bits() && x != d.Bits()) << i;
    }
    const float ideal[] = {-6, -1, 0, 2, 6.5f};
    float y[5];
    a.AddNoise(ideal, y, 5, 0.0);
    for (int k = 0; k < 5; ++k) b.Normal();
    for (int k = 0; k < 5; ++k) EXPECT_EQ(y[k], ideal[k]);
    a.AddNoise(ideal, y, 5, 0.7);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(y[k], static_cast<float>(ideal[k] + 0.7 * b.Normal()));
    std::uint64_t words[3];
    a.RandomWords(words, 3);
    for (std::uint64_t w : words) EXPECT_EQ(w, b.Bits());
    // Raw bits are the words' bits from the lowest up, whole words and a part.
    std::uint8_t bits[200];
    a.RandomBits(bits, 200);
    for (int k = 0; k < 200; k += 64) {
        const std::uint64_t w = b.Bits();
        for (int j = 0; j < 64 && k + j < 200; ++j) ASSERT_EQ(bits[k + j], (w >> j) & 1u) << k + j;
    }
}

} // namespace
} // namespace channel

namespace channel {
namespace {

TEST(Noise, LanesGiveTheSameNumbersOnEveryPathAndLookGaussian) {
    // Calls of every length around the vector width, so that each path's
    // vector part and scalar rest meet every lane.
    const int n = 1 << 18;
    std::vector<float> clean(n), want(n), got(n);
    for (int k = 0; k < n; ++k) clean[k] = static_cast<float>(k % 13 - 6);
    std::vector<int> lengths;
    for (int len = 1, at = 0; at < n; at += len, len = len % 37 + 1) lengths.push_back(len);
    auto Fill = [&](NoiseSource::Path path, std::vector<float>& out) {
        NoiseSource noise(5, 9);
        int at = 0;
        for (int len : lengths) {
            const int take = std::min(len, n - at);
            noise.AddNoiseLanes(clean.data() + at, out.data() + at, take, 0.8, path);
            at += take;
        }
    };
    Fill(NoiseSource::Path::kScalar, want);
    for (auto path : {NoiseSource::Path::kAvx2, NoiseSource::Path::kAvx512}) {
        if (!NoiseSource::Runs(path)) continue;
        Fill(path, got);
        ASSERT_EQ(got, want) << int(path);
    }
    // Standardised: mean 0, variance 1, the tails of a Gaussian, no
    // correlation between neighbours (which come from different lanes).
    double sum = 0, sq = 0, next = 0;
    int beyond[3] = {};
    const double edge[3] = {1.0, 3.0, 3.6};
    for (int k = 0; k < n; ++k) {
        const double x = (static_cast<double>(want[k]) - clean[k]) / 0.8;
        sum += x;
        sq += x * x;
        if (k + 1 < n) next += x * (static_cast<double>(want[k + 1]) - clean[k + 1]) / 0.8;
        for (int j = 0; j < 3; ++j) beyond[j] += std::fabs(x) > edge[j];
    }
    EXPECT_NEAR(sum / n, 0.0, 5 / std::sqrt(n));
    EXPECT_NEAR(sq / n, 1.0, 5 * std::sqrt(2.0 / n));
    EXPECT_NEAR(next / n, 0.0, 5 / std::sqrt(n));
    for (int j = 0; j < 3; ++j) {
        const double p = 2 * QFunction(edge[j]);
        EXPECT_NEAR(beyond[j], n * p, 5 * std::sqrt(n * p * (1 - p))) << edge[j];
    }
    // The lanes are their own generators: the bits and the serial noise are
    // those of a source that never drew from its lanes.
    NoiseSource a(5, 9), b(5, 9);
    a.AddNoiseLanes(clean.data(), got.data(), 100, 0.8);
    EXPECT_EQ(a.Bits(), b.Bits());
    EXPECT_EQ(a.Normal(), b.Normal());
}

} // namespace
} // namespace channel
