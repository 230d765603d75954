// Sectors through the iterative channel and the classical one: the densities
// and noise each meets, the counts' independence of threads, and sectors
// that must all succeed or all fail.
#include "engine/sector_run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "codes/builtin.h"
#include "detectors/table.h"

namespace {

engine::SectorSettings Settings(const char* target, bool head) {
    engine::SectorSettings s;
    EXPECT_EQ(channel::Target::Parse(target, s.chain.target), "");
    if (head) s.chain.head = channel::HeadKind::kLorentz;
    s.chain.density = 2.5;
    s.code = std::make_shared<const codes::Code>(*codes::Builtin("sector512"));
    s.detector = detectors::Find(head ? "npbcjr" : "maxlog")->kind;
    return s;
}

TEST(Sectors, EachChannelMeetsTheHeadAtItsRatesDensityAndNoise) {
    // sector512 writes 4096 user bits in 4608, RS with t = 26 in 4096 + 520.
    const engine::SectorGeometry head = engine::GeometryOf(Settings("e2pr4", true), 20);
    EXPECT_NEAR(head.coded.density, 2.5 * 4608 / 4096, 1e-12);
    EXPECT_EQ(head.rsT, 26);
    EXPECT_NEAR(head.classical.density, 2.5 * 4616 / 4096, 1e-12);
    EXPECT_NEAR(head.sigmaCoded * head.sigmaCoded * 4096 / 4608, head.sigmaUser * head.sigmaUser,
                1e-12);
    EXPECT_FALSE(head.coded.precoder);
    EXPECT_TRUE(head.classical.precoder);
    // On the ideal channel sigma is per sample: E2PR4's E = 10 over sigma^2
    // is the SNR, and Eb/N0 = E / (8 R sigma^2) = 14 dB - 10 log10(8 * 8/9).
    const engine::SectorGeometry ideal = engine::GeometryOf(Settings("e2pr4", false), 14);
    EXPECT_EQ(ideal.sigmaCoded, ideal.sigmaUser);
    EXPECT_NEAR(ideal.ebN0Db, 14 - 8.519375, 1e-5);
}

TEST(Sectors, CountsDoNotDependOnThreadsAndEndWhereTheyMust) {
    const struct {
        double db;
        bool allFail, noneFail;
    } cases[] = {{12, true, false}, {14.5, false, false}, {19, false, true}};
    for (const auto& c : cases) {
        engine::SectorSettings s = Settings("e2pr4", false);
        s.sectors = 12;
        s.failures = 1000;
        const engine::SectorGeometry g = engine::GeometryOf(s, c.db);
        engine::SectorCounts one, two;
        std::atomic<bool> stop{false};
        ASSERT_TRUE(engine::RunSectorPoint(s, g, 0, stop, one));
        s.threads = 2;
        ASSERT_TRUE(engine::RunSectorPoint(s, g, 0, stop, two));
        EXPECT_EQ(one.sectors, 12u) << c.db;
        EXPECT_EQ(two.failed, one.failed) << c.db;
        EXPECT_EQ(two.bitErrors, one.bitErrors) << c.db;
        EXPECT_EQ(two.rawErrors, one.rawErrors) << c.db;
        EXPECT_EQ(two.iterations, one.iterations) << c.db;
        EXPECT_EQ(two.rsFailed, one.rsFailed) << c.db;
        EXPECT_EQ(one.Errors() == 12, c.allFail) << c.db;
        EXPECT_EQ(one.Errors() == 0 && one.bitErrors == 0, c.noneFail) << c.db;
        EXPECT_EQ(one.userBits, 12u * 4096) << c.db;
        // A failed sector runs every round; a good one stops at its first
        // zero syndrome.
        if (c.allFail) {
            EXPECT_EQ(one.rounds, 12u * 3) << c.db;
        }
    }
    // Enough sector errors end the point early, after the chunk that has them.
    engine::SectorSettings s = Settings("e2pr4", false);
    s.sectors = 100;
    s.failures = 5;
    engine::SectorCounts c;
    std::atomic<bool> stop{false};
    ASSERT_TRUE(engine::RunSectorPoint(s, engine::GeometryOf(s, 12), 0, stop, c));
    EXPECT_EQ(c.sectors, 8u);
}

} // namespace

TEST(Sectors, WithTimingEachSectorIsReadThroughTheClockAndItsSlipsCounted) {
    // 4 sectors on the ideal E2PR4 channel at 24 dB, where none fails at
    // the right instants: off by 0.4 and 200 ppm the default loop follows
    // (no slip, every sector's 4608 + 4 samples in the RMS); 5000 ppm
    // against a first-order loop of the narrowest bandwidth slips every
    // sector of both channels, and then the decoder fails on each.
    const struct {
        bool on;
        double ppm;
        int order;
        double bandwidth;
        std::uint64_t slipped, samples;
        double rmsBelow;
    } cases[] = {{false, 0, 2, 0.002, 0, 0, 1e-300},
                 {true, 200, 2, 0.002, 0, 4 * 4612, 0.05},
                 {true, 5000, 1, channel::kMinLoopBandwidth, 4, 0, 1e-300}};
    for (const auto& c : cases) {
        engine::SectorSettings s = Settings("e2pr4", false);
        s.sectors = 4;
        s.chain.timing.on = c.on;
        s.chain.timing.phase = c.on ? 0.4 : 0;
        s.chain.timing.freqPpm = c.ppm;
        s.chain.timing.order = c.order;
        s.chain.timing.bandwidth = c.bandwidth;
        engine::SectorCounts n;
        std::atomic<bool> stop{false};
        ASSERT_TRUE(engine::RunSectorPoint(s, engine::GeometryOf(s, 24), 0, stop, n));
        EXPECT_EQ(n.sectors, 4u) << c.ppm;
        EXPECT_EQ(n.slipped, c.slipped) << c.ppm;
        EXPECT_EQ(n.rsSlipped, c.slipped) << c.ppm;
        EXPECT_EQ(n.phaseSamples, c.samples) << c.ppm;
        EXPECT_EQ(n.RmsPhase() > 0, c.samples > 0) << c.ppm;
        EXPECT_LT(n.RmsPhase(), c.rmsBelow + (c.samples == 0 ? 1 : 0)) << c.ppm;
        EXPECT_EQ(n.Errors(), c.slipped) << c.ppm;
        EXPECT_EQ(n.rsFailed, c.slipped) << c.ppm;
    }
}
