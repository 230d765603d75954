// What the soft statistics make of ratios whose worth is known, and the runs
// that gather them: the same for any thread count.
#include "engine/soft_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "channel/noise.h"
#include "engine/error_rate.h"

namespace {

// Consistent Gaussian ratios of random bits: L = (s^2 / 2)(1 - 2b) + s n,
// times `scale` (1: the true log ratios; more: overclaimed).
engine::LlrStatistics Gaussian(double s, double scale, int n) {
    channel::NoiseSource source(3, 7);
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(n));
    std::vector<double> normal(static_cast<std::size_t>(n));
    std::vector<float> llr(static_cast<std::size_t>(n));
    source.RandomBits(bits.data(), n);
    source.Normals(normal.data(), n);
    for (int k = 0; k < n; ++k)
        llr[k] = static_cast<float>(scale * (0.5 * s * s * (1 - 2 * bits[k]) + s * normal[k]));
    engine::LlrStatistics stats;
    stats.Add(llr.data(), bits.data(), n);
    return stats;
}

TEST(SoftStatistics, ConsistentRatiosCarryJOfTheirSigma) {
    EXPECT_EQ(engine::InformationOfSigma(0), 0);
    double last = 0;
    for (double s : {0.25, 0.5, 1.0, 2.0, 4.0, 8.0}) {
        const double j = engine::InformationOfSigma(s);
        EXPECT_GT(j, last) << s;
        last = j;
        EXPECT_NEAR(engine::SigmaOfInformation(j), s, 1e-9 * s) << s;
        // Measured on 2^18 bits: the histograms' measure and the average
        // both meet J, the average far closer (it has no bins).
        const engine::LlrStatistics stats = Gaussian(s, 1, 1 << 18);
        EXPECT_NEAR(stats.AverageInformation(), j, 0.004) << s;
        EXPECT_NEAR(stats.MutualInformation(), j, 0.01) << s;
        // Consistent ratios claim what they are: each bin of |L| that should
        // hold 20 errors or more errs at its claimed rate, within five
        // binomial deviations.
        for (int i = 0; i < engine::LlrStatistics::kReliabilityBins; ++i) {
            const double n = double(stats.inBin[i]);
            const double claimed = n > 0 ? stats.claimedInBin[i] / n : 0;
            if (claimed * n < 20) continue;
            EXPECT_NEAR(double(stats.wrongInBin[i]) / n, claimed,
                        5 * std::sqrt(claimed * (1 - claimed) / n))
                << s << " bin " << i;
        }
    }
    EXPECT_GT(engine::InformationOfSigma(20), 0.9999);
    // Ratios twice too confident keep their information in the histograms
    // but pay for every confident mistake in the average.
    const engine::LlrStatistics over = Gaussian(1.5, 2, 1 << 18);
    EXPECT_NEAR(over.MutualInformation(), engine::InformationOfSigma(1.5), 0.01);
    EXPECT_LT(over.AverageInformation(), over.MutualInformation() - 0.05);
}

TEST(SoftRun, TheStatisticsDoNotDependOnThreads) {
    engine::SoftSettings s;
    s.detectors = {detectors::Kind::kViterbi};
    s.sigma = 0.6;
    s.bits = 300'500;
    s.frame = 1000;
    s.aprioriSigma = 1.5;
    s.extrinsic = true;
    const std::atomic<bool> go{false};
    engine::SoftResult one, two;
    s.threads = 1;
    ASSERT_TRUE(engine::RunSoft(s, go, one));
    s.threads = 2;
    ASSERT_TRUE(engine::RunSoft(s, go, two));
    EXPECT_EQ(one.bits, 301'000u); // whole frames
    const engine::LlrStatistics &a = one.statistics[0], &b = two.statistics[0];
    EXPECT_EQ(a.counts, b.counts);
    EXPECT_EQ(a.errors, b.errors);
    EXPECT_EQ(a.informationSum, b.informationSum);
    // A hard detector claims certainty: every ratio in an end bin.
    const int last = engine::LlrStatistics::kBins - 1;
    EXPECT_EQ(a.counts[0][0] + a.counts[0][last] + a.counts[1][0] + a.counts[1][last], a.bits);
    EXPECT_GT(a.errors, 0u);
    EXPECT_EQ(one.noiseVariance, 0.36);
}

TEST(SoftRun, WithAConstraintCodeItsErrorsAreBersOfTheSameCodeWordsAndNoise) {
    engine::SoftSettings s;
    s.detectors = {detectors::Kind::kMaxlog, detectors::Kind::kBcjr};
    s.chain.constraint = channel::ConstraintKind::kTvmtr89;
    s.sigma = 0.9;
    s.bits = 20 * 450; // 20 frames of 400 user bits, 450 coded
    s.frame = 400;
    engine::SoftResult r;
    ASSERT_TRUE(engine::RunSoft(s, std::atomic<bool>{false}, r));
    engine::BerSettings b;
    b.frame = 450;
    const engine::PointCounts c =
        engine::RunChunk(b, {s.chain, s.detectors}, engine::DesignChannel(s.chain, 0.9), 0, 0, 20);
    EXPECT_EQ(r.bits, 9000u);
    for (std::size_t d = 0; d < 2; ++d)
        EXPECT_EQ(r.statistics[d].errors, c.detectors[d].bitErrors) << d;
    EXPECT_GT(c.detectors[0].bitErrors, 0u);
}

} // namespace
