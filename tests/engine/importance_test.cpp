// Importance sampling against what it must agree with: plain counting when
// the mixture is the channel alone, the slicer's exact rate, counting where
// counting reaches, the union bound from below, and any thread count.
#include "engine/importance.h"

#include <gtest/gtest.h>

#include <cmath>

#include "channel/bounds.h"

namespace {

using detectors::Kind;

engine::ChainSettings Chain(const char* target, bool head) {
    engine::ChainSettings chain;
    EXPECT_EQ(channel::Target::Parse(target, chain.target), "");
    if (head) {
        chain.head = channel::HeadKind::kLorentz;
        chain.density = 2.5;
    }
    return chain;
}

engine::ImportanceSums Estimate(const engine::BerSetup& setup, double snrDb, std::uint64_t bits,
                                double rse, int threads = 1) {
    engine::BerSettings run;
    run.bits = bits;
    run.threads = threads;
    engine::ImportanceSettings is;
    is.rse = rse;
    const double sigma = channel::SigmaOfSnr(engine::SignalEnergy(setup.chain), snrDb);
    const engine::ChannelDesign design = engine::DesignChannel(setup.chain, sigma);
    std::atomic<bool> stop{false};
    engine::ImportanceSums sums;
    EXPECT_TRUE(engine::RunImportancePoint(run, is, setup, design, 2, stop, sums));
    return sums;
}

TEST(Importance, ChannelAloneIsPlainCounting) {
    // Weights 1 and the counting engine's own frames, on both channels (a
    // head with jitter: its draws come between the data's and the noise's).
    for (bool head : {false, true}) {
        engine::BerSetup setup{Chain("e3pr4", head), {Kind::kSlicer, Kind::kViterbi}};
        setup.chain.jitter = head ? 0.05 : 0;
        engine::BerSettings run;
        run.frame = 128;
        engine::ImportanceSettings is;
        is.plainShare = 1;
        const engine::ChannelDesign design = engine::DesignChannel(setup.chain, head ? 0.3 : 0.6);
        const engine::PointCounts counted = engine::RunChunk(run, setup, design, 1, 5, 300);
        const engine::ImportanceSums sums =
            engine::RunImportanceChunk(run, is, setup, design, 1, 5, 300);
        ASSERT_EQ(sums.detectors.size(), 2u);
        for (std::size_t d = 0; d < 2; ++d) {
            EXPECT_GT(counted.detectors[d].bitErrors, 10u) << head;
            EXPECT_EQ(sums.detectors[d].bitErrors, counted.detectors[d].bitErrors) << head;
            EXPECT_EQ(sums.detectors[d].hits, counted.detectors[d].frameErrors) << head;
            EXPECT_EQ(sums.detectors[d].sum, (long double)counted.detectors[d].bitErrors) << head;
        }
    }
}

TEST(Importance, AgreesWithExactRatesAndCounting) {
    struct Case {
        const char* target;
        bool head;
        Kind kind;
        double snrDb;
        std::uint64_t countBits; // 0: against the slicer's exact rate
    };
    const Case cases[] = {
        {"e3pr4", false, Kind::kSlicer, 24, 0}, // about 1e-7
        {"e2pr4", false, Kind::kViterbi, 14.6, 4'000'000},
        {"e3pr4", false, Kind::kViterbi, 17, 4'000'000},
        {"e2pr4", true, Kind::kNpml, 18.5, 3'000'000},
    };
    for (const Case& c : cases) {
        const engine::BerSetup setup{Chain(c.target, c.head), {c.kind}};
        const engine::ImportanceSums sums = Estimate(setup, c.snrDb, 20'000'000, 0.1);
        const engine::Estimate e = sums.EstimateOf(0);
        EXPECT_LE(e.rse, 0.1) << c.target << " " << c.snrDb;
        double reference = 0, spread2 = 0;
        if (c.countBits == 0) {
            const double sigma = channel::SigmaOfSnr(setup.chain.target.Energy(), c.snrDb);
            reference = channel::SlicerBer(setup.chain.target, sigma);
        } else {
            engine::BerSettings run;
            run.bits = c.countBits;
            run.errors = UINT64_MAX;
            run.threads = 2;
            const double sigma = channel::SigmaOfSnr(engine::SignalEnergy(setup.chain), c.snrDb);
            std::atomic<bool> stop{false};
            engine::PointCounts counts;
            ASSERT_TRUE(engine::RunPoint(run, setup, 2, sigma, stop, counts));
            const engine::Monitor& m = counts.detectors[0];
            ASSERT_GT(m.frameErrors, 30u) << c.target;
            reference = m.Ber();
            // Errors come in events: the error frames set the counted spread.
            spread2 = reference * reference / static_cast<double>(m.frameErrors);
        }
        const double se = e.ber * e.rse;
        EXPECT_LE(std::abs(e.ber - reference), 1.96 * std::sqrt(se * se + spread2))
            << c.target << " " << c.snrDb << ": " << e.ber << " against " << reference;
    }
}

TEST(Importance, LongFramesAreMetByAGuardedWindow) {
    // A counting frame up to 128 + 2 * 32 bits is the trial itself; a longer
    // one is met by the middle 128 bits, and every event placed touches them.
    const struct {
        int frame, bits, first, counted;
    } cases[] = {{100, 100, 0, 100}, {192, 192, 0, 192}, {193, 192, 32, 128}, {4096, 192, 32, 128}};
    const engine::BerSetup setup{Chain("e3pr4", false), {Kind::kViterbi}};
    const engine::ChannelDesign design = engine::DesignChannel(setup.chain, 0.5);
    for (const auto& c : cases) {
        engine::BerSettings run;
        run.frame = c.frame;
        const engine::TrialShape t = engine::TrialFrame(run, engine::ImportanceSettings{});
        EXPECT_EQ(t.bits, c.bits);
        EXPECT_EQ(t.first, c.first);
        EXPECT_EQ(t.counted, c.counted);
        const engine::Mixture mix =
            engine::MakeMixture(engine::ImportanceSettings{}, design, setup.detectors,
                                engine::Chain(design, t.bits).Shape(), t.first, t.counted);
        ASSERT_FALSE(mix.components.empty());
        for (const engine::MixtureComponent& m : mix.components) {
            EXPECT_GE(m.firstStart + m.bits, t.first + 1) << m.what;
            EXPECT_LE(m.lastStart, t.first + t.counted - 1) << m.what;
            EXPECT_LE(m.lastStart + m.bits, t.bits) << m.what;
        }
    }
}

TEST(Importance, BelowTheUnionBoundAndSameForAnyThreadCount) {
    for (double db : {24.0, 27.0}) {
        const engine::BerSetup setup{Chain("e3pr4", false), {Kind::kViterbi}};
        const engine::ImportanceSums one = Estimate(setup, db, 4'000'000, 0.05);
        const engine::ImportanceSums three = Estimate(setup, db, 4'000'000, 0.05, 3);
        const engine::Estimate e = one.EstimateOf(0);
        EXPECT_EQ(three.trials, one.trials);
        EXPECT_EQ(three.EstimateOf(0).ber, e.ber);
        const double sigma = channel::SigmaOfSnr(setup.chain.target.Energy(), db);
        const double bound =
            channel::UnionBound(channel::UnionBoundEvents(setup.chain.target), sigma);
        // Up here the likeliest events are nearly all of the rate: the bound
        // is tight, and the estimate's interval reaches it from below.
        EXPECT_LE(e.rse, 0.05) << db;
        EXPECT_LT(e.low, bound) << db;
        EXPECT_GT(e.ber, 0.8 * bound) << db;
    }
}

} // namespace
