// The sweep engine and its monitors: what a reporter hears and in which
// order, where a stop leaves the points, and the frames and sectors counted.
#include "engine/ber_sweep.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/monitor.h"

namespace {

TEST(Monitor, CountsBitsFramesAndSectors) {
    const std::uint8_t truth[8] = {0, 1, 1, 0, 0, 1, 0, 1};
    const std::uint8_t decided[8] = {0, 1, 0, 0, 0, 1, 0, 0}; // bits 2 and 7 wrong
    engine::Monitor m;
    m.Count(decided, truth, 8);
    m.Count(truth, truth, 8);
    EXPECT_EQ(std::vector<std::uint64_t>({m.bits, m.bitErrors, m.frames, m.frameErrors}),
              std::vector<std::uint64_t>({16, 2, 2, 1}));
    // Sectors of 3 bits: 0-2 (wrong), 3-5, 6-7 (wrong, the short last one).
    engine::Monitor s;
    s.CountSectors(decided, truth, 8, 3);
    EXPECT_EQ(std::vector<std::uint64_t>({s.sectors, s.sectorErrors, s.frames, s.frameErrors}),
              std::vector<std::uint64_t>({3, 2, 1, 1}));
    // Decoded sectors: a failure is an error whatever its bits; wrong bits
    // under a claimed success are an undetected error.
    engine::Monitor d;
    d.CountDecoded(truth, truth, 8, true);
    d.CountDecoded(decided, truth, 8, false);
    d.CountDecoded(truth, truth, 8, false);
    EXPECT_EQ(std::vector<std::uint64_t>({d.sectors, d.sectorErrors, d.undetected, d.bitErrors}),
              std::vector<std::uint64_t>({3, 2, 1, 2}));
    std::uint64_t words[engine::Monitor::kWords];
    d.ToWords(words);
    engine::Monitor back;
    back.FromWords(words);
    back.Add(s);
    EXPECT_EQ(back.sectors, 6u);
    EXPECT_EQ(back.undetected, 1u);
}

// What a reporter hears, as one line each.
class Heard final : public engine::SweepReporter {
  public:
    std::vector<std::string> calls;
    void TargetBegins(std::size_t t, const engine::ChainSettings& chain) override {
        calls.push_back("target " + std::to_string(t) + " " + chain.TargetName());
    }
    void PointBegins(const engine::BerPoint& p, const engine::ChannelDesign&) override {
        calls.push_back("begin " + std::to_string(p.target) + "." + std::to_string(p.index) +
                        " kinds " + std::to_string(p.kinds.size()));
    }
    void PointDone(const engine::BerPoint& p) override {
        calls.push_back("done " + std::to_string(p.target) + "." + std::to_string(p.index));
    }
};

TEST(Sweep, TargetsThenPointsAndEachPointsCountsWholeFrames) {
    engine::SweepSettings s;
    s.run.bits = 20'000;
    s.run.frame = 1000;
    s.run.threads = 2;
    engine::ChainSettings epr4;
    ASSERT_EQ(channel::Target::Parse("epr4", epr4.target), "");
    s.chains = {engine::ChainSettings{}, epr4};
    s.snrDbs = {10, 12};
    Heard heard;
    std::vector<engine::BerPoint> points;
    const std::atomic<bool> go{false};
    ASSERT_EQ(engine::RunSweep(s, go, heard, points), engine::SweepEnd::kDone);
    EXPECT_EQ(heard.calls, (std::vector<std::string>{"target 0 e3pr4", "begin 0.0 kinds 2",
                                                     "done 0.0", "begin 0.1 kinds 2", "done 0.1",
                                                     "target 1 epr4", "begin 1.0 kinds 2",
                                                     "done 1.0", "begin 1.1 kinds 2", "done 1.1"}));
    ASSERT_EQ(points.size(), 4u);
    for (const engine::BerPoint& p : points) {
        for (const engine::Monitor& m : p.counts.detectors) {
            EXPECT_EQ(m.frames, 20u);
            EXPECT_EQ(m.bits, 20'000u);
            EXPECT_LE(m.frameErrors, m.frames);
            EXPECT_GE(m.frameErrors * 1000, m.bitErrors); // a frame holds 1000 of them at most
            EXPECT_GT(m.frameErrors, 0u);                 // 10 and 12 dB: every detector errs
        }
        EXPECT_GT(p.unionBound, 0);
    }
    // A stop before the first point: no point, the reporter heard nothing of
    // points; the same settings point for point give the same counts.
    const std::atomic<bool> stop{true};
    Heard none;
    std::vector<engine::BerPoint> stopped;
    EXPECT_EQ(engine::RunSweep(s, stop, none, stopped), engine::SweepEnd::kStopped);
    EXPECT_TRUE(stopped.empty());
    EXPECT_TRUE(none.calls.empty());
    engine::BerPoint again = engine::PointAt(s.chains[1], {}, s.snrDbs, 1);
    again.target = 1;
    ASSERT_TRUE(
        engine::RunBerPoint(s.run, {s.chains[1], {}}, engine::BoundEvents(s.chains[1]), go, again));
    EXPECT_EQ(again.counts.detectors[1].bitErrors, points[3].counts.detectors[1].bitErrors);
    EXPECT_EQ(again.unionBound, points[3].unionBound);
}

} // namespace
