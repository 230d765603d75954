// Sectors through the iterative channel and the classical one: the densities
// and noise each meets, the counts' independence of threads, and sectors
// that must all succeed or all fail.
#include "engine/sector_run.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The batch (sectors of several chunks side by side, the rounds going on for
// those not yet decoded) gives each sector what it gets alone, in every
// arithmetic; the float lanes are the plain decoder's layered min-sum.
TEST(Sectors, EachSectorOfABatchIsTheSectorAlone) {
    engine::SectorSettings s = Settings("e2pr4", false);
    s.sectors = 40; // ten chunks: a batch of eight and part of one more
    s.failures = 1000;
    const engine::SectorGeometry g = engine::GeometryOf(s, 14.75);
    std::atomic<bool> stop{false};
    engine::SectorCounts plain;
    for (engine::Messages m : {engine::Messages::kPlain, engine::Messages::kFloat,
                               engine::Messages::kInt16, engine::Messages::kInt8}) {
        s.messages = m;
        engine::SectorCounts batch;
        ASSERT_TRUE(engine::RunSectorPoint(s, g, 0, stop, batch));
        std::uint64_t failed = 0, iterations = 0, rounds = 0, wrong = 0;
        for (std::uint64_t k = 0; k < s.sectors; ++k) {
            const engine::SectorSamples one = engine::DrawSector(s, g, 0, k);
            const engine::SectorDecoded d = engine::DecodeSector(s, g, one.samples.data());
            failed += !d.syndromeZero;
            iterations += static_cast<std::uint64_t>(d.iterations);
            rounds += static_cast<std::uint64_t>(d.rounds);
            for (std::size_t v = 0; v < d.bits.size(); ++v) wrong += d.bits[v] != one.codeword[v];
        }
        const int at = static_cast<int>(m);
        EXPECT_EQ(batch.failed, failed) << at;
        EXPECT_EQ(batch.iterations, iterations) << at;
        EXPECT_EQ(batch.rounds, rounds) << at;
        EXPECT_GT(batch.failed, 0u) << at; // in the waterfall: some rounds go on
        EXPECT_LT(batch.failed, s.sectors) << at;
        EXPECT_EQ(wrong == 0, batch.bitErrors == 0) << at;
        if (m == engine::Messages::kPlain) plain = batch;
        if (m == engine::Messages::kFloat) {
            EXPECT_EQ(batch.iterations, plain.iterations);
            EXPECT_EQ(batch.bitErrors, plain.bitErrors);
        }
    }
}

// The target 1: binary input, levels 0 and 1, on white noise. Eb/N0 = SNR -
// 10 log10(8 R), and a coded point runs (the classical channel on the
// slicer): at 14 dB (Eb/N0 5.5 dB) every sector decodes, at 10 dB none.
TEST(Sectors, TheMemorylessTargetRuns) {
    engine::SectorSettings s = Settings("e2pr4", false);
    s.chain.target = channel::Target({1.0});
    s.sectors = 8;
    const double rate = 4096.0 / 4608;
    const struct {
        double db;
        std::uint64_t failed;
    } cases[] = {{14, 0}, {10, 8}};
    for (const auto& c : cases) {
        const engine::SectorGeometry g = engine::GeometryOf(s, c.db);
        EXPECT_NEAR(g.ebN0Db, c.db - 10 * std::log10(8 * rate), 1e-12);
        EXPECT_NEAR(g.sigmaCoded, std::pow(10.0, -c.db / 20), 1e-12);
        EXPECT_EQ(engine::ClassicalKind(g.classical), detectors::Kind::kSlicer);
        engine::SectorCounts counts;
        std::atomic<bool> stop{false};
        ASSERT_TRUE(engine::RunSectorPoint(s, g, 0, stop, counts));
        EXPECT_EQ(counts.sectors, 8u);
        EXPECT_EQ(counts.failed, c.failed) << c.db;
        if (c.failed == 8) {
            EXPECT_EQ(counts.rsFailed, 8u) << c.db;
        }
    }
}

// What the decoder hands back to the detector is what its checks added, in
// every arithmetic: on the zero code word read with certainty beyond the
// integers' range (+60 a bit) every extrinsic ratio is positive, not the
// clipped posterior less 60.
TEST(Sectors, TheDecodersExtrinsicRatiosKeepTheirSignBeyondItsRange) {
    const codes::Code code = *codes::Builtin("sector512");
    const std::vector<float> input(static_cast<std::size_t>(code.n), 60.0f);
    for (engine::Messages m : {engine::Messages::kPlain, engine::Messages::kFloat,
                               engine::Messages::kInt16, engine::Messages::kInt8}) {
        codes::DecoderOptions options;
        options.earlyStop = false; // the zero word satisfies every check at once
        engine::SectorDecoder decoder(code, options, m);
        std::vector<float> posterior(input.size()), extrinsic(input.size());
        std::vector<std::uint8_t> bits(input.size());
        const float* in = input.data();
        float* p = posterior.data();
        std::uint8_t* b = bits.data();
        codes::FrameResult result;
        decoder.Decode(1, &in, &b, &p, &result);
        EXPECT_TRUE(result.syndromeZero);
        decoder.Extrinsic(code.n, in, p, extrinsic.data());
        EXPECT_GT(*std::min_element(extrinsic.begin(), extrinsic.end()), 0.0f)
            << static_cast<int>(m);
    }
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
