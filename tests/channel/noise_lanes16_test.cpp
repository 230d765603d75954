#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "channel/bounds.h"
#include "channel/noise.h"

// The stream lanes16. Statistical bounds are five standard deviations of the
// count or more, as in noise_test.cpp.
namespace channel {
namespace {

constexpr NoiseSource::Path kPaths[] = {NoiseSource::Path::kScalar, NoiseSource::Path::kAvx2,
                                        NoiseSource::Path::kAvx512};

// n deviates of stream (5, 9) in calls of the lengths 1, 2, ... 41, 1, ...
// (or one call), on `path`.
std::vector<float> Draw(NoiseSource::Path path, int n, bool pieces) {
    NoiseSource noise(5, 9);
    std::vector<float> z(static_cast<std::size_t>(n));
    if (!pieces) noise.NormalsLanes16(z.data(), n, path);
    for (int at = 0, len = 1; pieces && at < n; at += len, len = len % 41 + 1)
        noise.NormalsLanes16(z.data() + at, std::min(len, n - at), path);
    return z;
}

TEST(NoiseLanes16, EveryPathAndEveryCuttingGiveTheSameStream) {
    const int n = 1 << 17;
    const std::vector<float> want = Draw(NoiseSource::Path::kScalar, n, false);
    for (NoiseSource::Path path : kPaths) {
        if (!NoiseSource::Runs(path)) continue;
        EXPECT_EQ(Draw(path, n, false), want) << int(path);
        EXPECT_EQ(Draw(path, n, true), want) << int(path);
        // The noise on samples: the deviates scaled in double, rounded once.
        NoiseSource noise(5, 9);
        std::vector<float> clean(n), got(n);
        for (int k = 0; k < n; ++k) clean[k] = static_cast<float>(k % 13 - 6) * 0.5f;
        noise.AddNoiseLanes16(clean.data(), got.data(), n - 3, 0.7, path);
        for (int k = 0; k < n - 3; ++k)
            ASSERT_EQ(got[k], static_cast<float>(clean[k] + 0.7 * static_cast<double>(want[k])))
                << k << " path " << int(path);
    }
    // Its own generators: the bits, the serial and the lanes' noise are
    // those of a source that never drew from them.
    NoiseSource a(5, 9), b(5, 9);
    float z[100];
    a.NormalsLanes16(z, 100);
    EXPECT_EQ(a.Bits(), b.Bits());
    EXPECT_EQ(a.Normal(), b.Normal());
    float one = 0, two = 0;
    const float zero = 0;
    a.AddNoiseLanes(&zero, &one, 1, 1.0);
    b.AddNoiseLanes(&zero, &two, 1, 1.0);
    EXPECT_EQ(one, two);
}

TEST(NoiseLanes16, IsAGaussianOfUnitVarianceWithoutCorrelation) {
    const int n = 1 << 22;
    NoiseSource noise(11, 3);
    std::vector<float> z(n);
    noise.NormalsLanes16(z.data(), n);
    double sum = 0, sq = 0, fourth = 0;
    // Neighbours (the two halves of a word), the next generator, the same
    // lane a step later, and the squares of neighbours.
    const int lags[] = {1, 2, 16};
    double lagged[3] = {}, squares = 0;
    for (int k = 0; k < n; ++k) {
        const double x = z[k];
        sum += x;
        sq += x * x;
        fourth += x * x * x * x;
        for (int j = 0; j < 3; ++j)
            if (k + lags[j] < n) lagged[j] += x * z[k + lags[j]];
        if (k + 1 < n) squares += (x * x - 1) * (static_cast<double>(z[k + 1]) * z[k + 1] - 1);
    }
    EXPECT_NEAR(sum / n, 0.0, 5 / std::sqrt(n));
    EXPECT_NEAR(sq / n, 1.0, 5 * std::sqrt(2.0 / n));
    EXPECT_NEAR(fourth / n, 3.0, 5 * std::sqrt(96.0 / n));
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(lagged[j] / n, 0.0, 5 / std::sqrt(n)) << lags[j];
    EXPECT_NEAR(squares / n, 0.0, 5 * std::sqrt(4.0 / n));
    // Counts between edges, both signs apart, against erfc: the rectangles,
    // the wedges and (past 3.44) the tail.
    const double edges[] = {0, 0.25, 0.5, 1, 1.5, 2, 2.5, 3, 3.44, 3.8, 4.2, 4.6, 1e9};
    constexpr int kBins = sizeof edges / sizeof edges[0] - 1;
    long positive[kBins] = {}, negative[kBins] = {};
    for (float x : z)
        for (int b = 0; b < kBins; ++b)
            if (std::fabs(x) >= edges[b] && std::fabs(x) < edges[b + 1]) {
                (x < 0 ? negative : positive)[b] += 1;
                break;
            }
    for (int b = 0; b < kBins; ++b) {
        const double p = QFunction(edges[b]) - QFunction(edges[b + 1]);
        const double spread = 5 * std::sqrt(n * p * (1 - p)) + 1;
        EXPECT_NEAR(positive[b], n * p, spread) << edges[b];
        EXPECT_NEAR(negative[b], n * p, spread) << edges[b];
    }
}

} // namespace
} // namespace channel
