// The error-rate engine without the program: thread invariance, the stop
// rules, and the rates it measures against their closed forms.
#include "engine/error_rate.h"

#include <gtest/gtest.h>

#include <cmath>

#include "channel/bounds.h"
#include "channel/events.h"

namespace {

engine::PointCounts Point(engine::BerSettings settings, int threads, double sigma) {
    std::atomic<bool> stop{false};
    engine::PointCounts counts;
    settings.threads = threads;
    EXPECT_TRUE(engine::RunPoint(settings, engine::BerSetup{}, 3, sigma, stop, counts));
    return counts;
}

TEST(LabEngine, SameCountsForAnyThreadCount) {
    struct Case {
        std::uint64_t bits, errors;
        int frame;
        double sigma;
    };
    // Stopped by errors inside a chunk sequence, by bits with a short last
    // chunk, and with frames longer than a chunk.
    // Chunks hold 16 frames of 4096 bits, 1639 of 40, 66 of 1000 and one of
    // 100000: even and odd ones, and short last chunks of either kind.
    const Case cases[] = {{50'000'000, 300, 4096, 0.55},
                          {1'000'000, 1'000'000, 40, 0.45},
                          {1'000'000, 1'000'000, 4096, 0.5},
                          {300'000, 1'000'000, 1000, 0.5},
                          {300'000, 1'000'000, 100'000, 0.5}};
    for (const Case& c : cases) {
        engine::BerSettings settings;
        settings.bits = c.bits;
        settings.errors = c.errors;
        settings.frame = c.frame;
        const engine::PointCounts one = Point(settings, 1, c.sigma);
        for (int threads : {2, 3, 8}) {
            const engine::PointCounts many = Point(settings, threads, c.sigma);
            EXPECT_EQ(many.bits, one.bits) << threads;
            EXPECT_EQ(many.detectors[0].bitErrors, one.detectors[0].bitErrors) << threads;
            EXPECT_EQ(many.detectors[1].bitErrors, one.detectors[1].bitErrors) << threads;
        }
        if (c.errors < c.bits) {
            EXPECT_GE(one.detectors[1].bitErrors, c.errors);
            EXPECT_LT(one.bits, c.bits);
        } else {
            // The bit limit rounded up to whole frames, no chunk more, and
            // every frame counted by every detector.
            EXPECT_EQ(one.bits, (c.bits + c.frame - 1) / c.frame * c.frame);
            for (const engine::Monitor& m : one.detectors) {
                EXPECT_EQ(m.bits, one.bits) << c.frame;
                EXPECT_EQ(m.frames, one.bits / c.frame) << c.frame;
            }
        }
        EXPECT_GT(one.detectors[0].bitErrors, one.detectors[1].bitErrors);
    }
}

TEST(LabEngine, NoNoiseNoErrorsAndAStopIsReported) {
    engine::BerSettings settings;
    settings.bits = 2'000'000;
    settings.frame = 999;
    const engine::PointCounts clean = Point(settings, 2, 0.0);
    EXPECT_EQ(clean.bits, 2'000'997u);
    EXPECT_EQ(clean.detectors[0].bitErrors + clean.detectors[1].bitErrors, 0u);

    std::atomic<bool> stop{true};
    engine::PointCounts counts;
    EXPECT_FALSE(engine::RunPoint(settings, engine::BerSetup{}, 0, 0.5, stop, counts));
    EXPECT_EQ(counts.bits, 0u);
}

} // namespace

namespace {

// A point of 1e8 bits at sigma 0.4 (22.4 dB on E3PR4) with the given tail.
engine::PointCounts Measured(bool tail) {
    engine::BerSettings settings;
    settings.bits = 100'000'000;
    settings.errors = settings.bits;
    settings.threads = 2;
    settings.seed = 9;
    engine::BerSetup setup;
    setup.chain.tail = tail;
    std::atomic<bool> stop{false};
    engine::PointCounts counts;
    EXPECT_TRUE(engine::RunPoint(settings, setup, 0, 0.4, stop, counts));
    return counts;
}

TEST(LabEngine, WithTheTailTheViterbiRateMeetsTheUnionBound) {
    // Statistical bounds of five standard deviations. Viterbi errors come in
    // bursts of about four raw bits (the event +-+ makes four), longer ones
    // eight: the count's variance is at most 8 times the count. A slicer
    // error depends on the five bits before it: at most 11 correlated terms.
    const double sigma = 0.4;
    const channel::Target target;
    const engine::PointCounts with = Measured(true);
    const double bits = static_cast<double>(with.bits);
    const double p = channel::SlicerBer(target, sigma);
    EXPECT_NEAR(with.detectors[0].bitErrors, bits * p, 5 * std::sqrt(11 * bits * p * (1 - p)));
    const double bound = bits * channel::UnionBound(channel::UnionBoundEvents(target), sigma);
    const double viterbi = static_cast<double>(with.detectors[1].bitErrors);
    EXPECT_LE(viterbi, bound + 5 * std::sqrt(8 * bound));
    EXPECT_GE(viterbi, 0.7 * bound - 5 * std::sqrt(8 * bound));
    // Without it every frame ends on a last bit decided from one sample, at
    // d2 = 1: several times the bound (4.7 times here).
    const engine::PointCounts without = Measured(false);
    EXPECT_GT(static_cast<double>(without.detectors[1].bitErrors),
              2 * bound + 5 * std::sqrt(8 * 2 * bound));
}

} // namespace

namespace {

TEST(LabEngine, QuantizedRunsWithoutNoiseAreExact) {
    // Every level sits on a code, so noise-free samples convert to their own
    // levels and both detectors decide every bit; tail or not, any
    // resolution, either noise stream.
    const struct {
        const char* target;
        int bits;
        bool tail;
    } cases[] = {{"e3pr4", 6, true}, {"e3pr4", 4, false}, {"e3pr4", 10, true},
                 {"pr4", 8, false},  {"e2pr4", 5, true},  {"1,1,0,-1,-1,1,-1", 6, true}};
    for (const auto& c : cases) {
        engine::BerSettings settings;
        settings.bits = 300'000;
        settings.frame = 1000;
        settings.threads = 2;
        engine::BerSetup setup;
        ASSERT_EQ(channel::Target::Parse(c.target, setup.chain.target), "");
        setup.chain.adcBits = c.bits;
        setup.chain.tail = c.tail;
        setup.detectors =
            detectors::DefaultKinds({&setup.chain.target, setup.chain.TargetName(), false, 0});
        std::atomic<bool> stop{false};
        engine::PointCounts counts;
        ASSERT_TRUE(engine::RunPoint(settings, setup, 0, 0.0, stop, counts));
        EXPECT_EQ(counts.bits, 300'000u) << c.target;
        for (const engine::Monitor& m : counts.detectors) EXPECT_EQ(m.bitErrors, 0u) << c.target;
    }
}

} // namespace
