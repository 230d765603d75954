// The sampling clock and the timing loop: exact where nothing moves, the
// zero-phase start, a frequency offset followed (or lagged by a first-order
// loop as predicted), and the noise's phase error against the linear model.
#include <gtest/gtest.h>

#include <cmath>

#include "detectors/early_viterbi.h"
#include "engine/chain.h"

namespace {

using engine::ChainSettings;

struct Received {
    engine::Frame frame;
    std::shared_ptr<const engine::TimingDesign> design;
};

// One frame of `bits` bits through the chain with timing (seed 1).
Received Through(ChainSettings s, double sigma, int bits, std::uint64_t stream = 0) {
    s.timing.on = true;
    const engine::ChannelDesign design = engine::DesignChannel(s, sigma);
    engine::Chain chain(design, bits);
    Received run{chain.MakeFrame(), design.timing};
    channel::NoiseSource source(1, stream);
    chain.Next(source, run.frame);
    return run;
}

double Error(const engine::TimingTrack& t, std::size_t j) {
    return t.truePhase[j] - static_cast<double>(t.recovered[j]);
}

ChainSettings Head(double density) {
    ChainSettings s;
    s.head = channel::HeadKind::kLorentz;
    s.density = density;
    return s;
}

TEST(Timing, StillClockIdealChannelGivesTodaysSamples) {
    for (const char* name : {"e3pr4", "epr4", "pr4", "1,2,1"}) {
        ChainSettings s;
        ASSERT_EQ(channel::Target::Parse(name, s.target), "");
        const Received run = Through(s, 0, 2000);
        EXPECT_EQ(run.frame.received, run.frame.clean) << name;
        EXPECT_EQ(run.frame.timing.start, 0.0) << name;
        for (float theta : run.frame.timing.recovered) ASSERT_EQ(theta, 0.0f) << name;
        EXPECT_EQ(run.frame.timing.slips, 0);
    }
}

TEST(Timing, StillClockOnAHeadStaysNearZero) {
    // Residual intersymbol interference gives the detector self-noise and
    // may move the lock point: bounded here, and measured in the README.
    const struct {
        double density;
        double bound;
    } cases[] = {{1.5, 0.01}, {2.5, 0.01}, {3.5, 0.02}};
    for (const auto& c : cases) {
        const Received run = Through(Head(c.density), 0, 4096);
        const engine::TimingTrack& t = run.frame.timing;
        double worst = 0;
        for (std::size_t j = static_cast<std::size_t>(t.trackFrom); j < t.truePhase.size(); ++j)
            worst = std::max(worst, std::fabs(Error(t, j)));
        EXPECT_LT(worst, c.bound) << c.density;
        EXPECT_LT(std::fabs(t.start), 1e-3) << c.density;
    }
}

TEST(Timing, ZeroPhaseStartOnACleanPreamble) {
    const struct {
        bool head;
        double phase;
    } cases[] = {{false, 0.4}, {false, -0.3}, {false, 0.9}, {true, 0.4}, {true, -0.75}, {true, 1}};
    for (const auto& c : cases) {
        ChainSettings s = c.head ? Head(2.5) : ChainSettings{};
        s.timing.phase = c.phase;
        const Received run = Through(s, 0, 512);
        EXPECT_NEAR(run.frame.timing.start, c.phase, 1e-3) << c.head << " " << c.phase;
    }
}

TEST(Timing, FrequencyOffsetFollowedOrLagged) {
    // Second order: no error left; first order: the lag offset / kp.
    const struct {
        bool head;
        int order;
        double ppm;
    } cases[] = {
        {false, 2, 200}, {false, 1, 200}, {false, 1, -500}, {true, 2, 300}, {true, 1, 200}};
    for (const auto& c : cases) {
        ChainSettings s = c.head ? Head(2.5) : ChainSettings{};
        s.timing.freqPpm = c.ppm;
        s.timing.order = c.order;
        s.timing.bandwidth = 0.005;
        const Received run = Through(s, 0, 8192);
        const engine::TimingTrack& t = run.frame.timing;
        double mean = 0;
        const std::size_t from = t.truePhase.size() - 2000;
        for (std::size_t j = from; j < t.truePhase.size(); ++j) mean += Error(t, j) / 2000;
        const double lag = c.order == 1 ? c.ppm * 1e-6 / run.design->gains.kp : 0.0;
        EXPECT_NEAR(mean, lag, 0.02 * std::fabs(c.ppm * 1e-6 / run.design->gains.kp) + 2e-4)
            << c.head << " order " << c.order << " ppm " << c.ppm;
    }
}

TEST(Timing, NoisePhaseErrorAgainstTheLinearModel) {
    const struct {
        bool head;
        double snrDb;
        double bandwidth;
    } cases[] = {{false, 30, 0.001}, {false, 29, 0.002}, {true, 26, 0.001}, {true, 30, 0.002}};
    for (const auto& c : cases) {
        ChainSettings s = c.head ? Head(2.5) : ChainSettings{};
        s.timing.bandwidth = c.bandwidth;
        const double sigma = std::sqrt(engine::SignalEnergy(s) / std::pow(10.0, c.snrDb / 10));
        double squares = 0;
        int n = 0;
        for (std::uint64_t f = 0; f < 6; ++f) {
            const Received run = Through(s, sigma, 16384, f);
            const engine::TimingTrack& t = run.frame.timing;
            for (std::size_t j = 4000; j < t.truePhase.size(); ++j, ++n)
                squares += Error(t, j) * Error(t, j);
        }
        const double rms = std::sqrt(squares / n);
        const double model = Through(s, sigma, 64).design->LinearRms();
        EXPECT_GT(rms, model / 1.5) << c.head << " " << c.snrDb;
        EXPECT_LT(rms, model * 1.5) << c.head << " " << c.snrDb;
    }
}

} // namespace

namespace {

TEST(Timing, EarlyViterbiGivesTheLevelsDelayedWithoutNoise) {
    const struct {
        const char* target;
        int delay;
    } cases[] = {{"e3pr4", 0}, {"e3pr4", 12}, {"epr4", 5}, {"pr4", 30}, {"1,0.8,-0.3", 8}};
    for (const auto& c : cases) {
        channel::Target target;
        ASSERT_EQ(channel::Target::Parse(c.target, target), "");
        const channel::Trellis& trellis = target.GetTrellis();
        detectors::EarlyViterbi early(trellis, c.delay);
        channel::NoiseSource source(3, 0);
        std::vector<std::uint8_t> p(600);
        source.RandomBits(p.data(), static_cast<int>(p.size()));
        std::vector<float> y(p.size());
        int state = 0, wrong = 0;
        for (std::size_t k = 0; k < p.size(); ++k) {
            y[k] = trellis.Output(state, p[k]);
            state = trellis.Next(state, p[k]);
            const float decided = early.Step(y[k]);
            // Past the first samples (whose start the detector does not know).
            if (k >= 40 + static_cast<std::size_t>(c.delay))
                wrong += decided != y[k - static_cast<std::size_t>(c.delay)];
        }
        EXPECT_EQ(wrong, 0) << c.target << " delay " << c.delay;
    }
}

TEST(Timing, FramesSideBySideAreTheFramesOneByOne) {
    const struct {
        bool head;
        double jitter, walk;
        channel::TedDecisions decisions;
    } cases[] = {{false, 0, 0, channel::TedDecisions::kSlicer},
                 {true, 0, 0.002, channel::TedDecisions::kSlicer},
                 {true, 0.05, 0, channel::TedDecisions::kViterbi}};
    for (const auto& c : cases) {
        ChainSettings s = c.head ? Head(2.5) : ChainSettings{};
        s.jitter = c.jitter;
        s.timing = {true, 0.4, 200, c.walk, 128, 0.002, 0.7, 2, c.decisions, 8};
        const engine::ChannelDesign design = engine::DesignChannel(s, 0.1);
        engine::Chain one(design, 1000), side(design, 1000);
        std::vector<engine::Frame> a, b;
        // A group of lanes and a rest run one by one.
        constexpr int n = engine::kLoopLanes + 3;
        for (int i = 0; i < n; ++i) a.push_back(one.MakeFrame()), b.push_back(side.MakeFrame());
        channel::NoiseSource sa(7, 1), sb(7, 1);
        for (engine::Frame& f : a) one.Next(sa, f);
        side.NextFrames(sb, b.data(), n);
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(a[i].received, b[i].received) << c.head << " " << i;
            EXPECT_EQ(a[i].timing.recovered, b[i].timing.recovered) << c.head << " " << i;
            EXPECT_EQ(a[i].timing.squares, b[i].timing.squares) << c.head << " " << i;
        }
    }
}

TEST(Timing, ViterbiDecisionsHoldLockOnE3pr4WhereTheSlicerSlips) {
    // A Lorentzian head at density 2.5, E3PR4, 22 dB, 0.4 bit periods and
    // 200 ppm off: the slicer's decisions slip frames, the Viterbi's hold.
    ChainSettings s = Head(2.5);
    s.timing.phase = 0.4;
    s.timing.freqPpm = 200;
    const double sigma = std::sqrt(engine::SignalEnergy(s) / std::pow(10.0, 2.2));
    const struct {
        channel::TedDecisions decisions;
        bool slips;
    } cases[] = {{channel::TedDecisions::kSlicer, true}, {channel::TedDecisions::kViterbi, false}};
    for (const auto& c : cases) {
        s.timing.decisions = c.decisions;
        int slipped = 0;
        for (std::uint64_t f = 0; f < 8; ++f)
            slipped += Through(s, sigma, 4096, f).frame.timing.slips != 0;
        EXPECT_EQ(slipped > 0, c.slips) << slipped << " frames slipped";
    }
}

} // namespace
