// The eye at the equalizer's output and at the recovered instants: on the
// ideal channel the readback's very eye; on a head at the sampling instants
// the chain's equalized samples, near the target's levels (the residual ISI
// the design leaves); through the timing loop the samples the loop read.
#include "engine/eye_recovered.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "channel/waveform.h"
#include "engine/eye_shading.h"

namespace {

using engine::EyePoint;

engine::ChainSettings Chain(const char* target, bool head, double density, int taps) {
    engine::ChainSettings c;
    EXPECT_EQ(channel::Target::Parse(target, c.target), "");
    if (head) c.head = channel::HeadKind::kLorentz;
    c.density = density;
    c.taps = taps;
    return c;
}

engine::EyeImage Draw(const engine::EyeSettings& s, engine::EyeGeometry& g) {
    EXPECT_EQ(engine::FitEye(301, 241, s.uis, engine::RangeOf(s.chain, s.point), g), "");
    const std::atomic<bool> stop{false};
    engine::EyeImage image;
    EXPECT_TRUE(engine::DrawEye(s, g, stop, image));
    return image;
}

TEST(EqualizedEye, OnTheIdealChannelItIsTheReadbacksEye) {
    const struct {
        const char* target;
        double sigma;
        int uis;
    } cases[] = {{"e3pr4", 0, 2}, {"e3pr4", 0.3, 2}, {"pr4", 0.2, 3}, {"1,2,1", 0.1, 1}};
    for (const auto& c : cases) {
        engine::EyeSettings s;
        s.chain = Chain(c.target, false, 2, 15);
        s.sigma = c.sigma;
        s.uis = c.uis;
        s.blocks = 600;
        s.threads = 2;
        engine::EyeGeometry a, b;
        const engine::EyeImage readback = Draw(s, a);
        s.point = EyePoint::kEqualized;
        EXPECT_EQ(Draw(s, b).hits, readback.hits) << c.target << " " << c.sigma;
        EXPECT_TRUE(engine::EyeAtLevels(s.chain, s.point));
        EXPECT_FALSE(engine::EqualizedEye(s.chain, s.point));
    }
}

// The first block of chunk 0 of `seed` as an equalized eye draws it, and the
// chain's equalizer on the same bits' readback (no noise, no jitter).
struct Both {
    std::vector<float> eye;   // at the sampling instants k = 0 ... 39
    std::vector<float> chain; // z_k, k = 0 ... 39
    engine::EyeWindows windows;
};

Both Compare(const engine::ChainSettings& chain, std::uint64_t seed) {
    engine::EyeSettings s;
    s.chain = chain;
    s.sigma = 0;
    s.point = EyePoint::kEqualized;
    engine::EyeSource source(chain, 0, 2, engine::MakeEyeChannel(s));
    source.Start(seed, 0);
    const channel::Wave& wave = source.NextBlock();
    Both out;
    out.windows = engine::WindowsOf(2, engine::RangeOf(chain, s.point).firstSample);
    for (int k = 0; k < channel::kBits; ++k)
        out.eye.push_back(wave[channel::kFirstSampleColumn + channel::kPointsPerBit * k]);

    channel::NoiseSource bitsSource(seed, 0);
    std::uint8_t raw[channel::kBits], prec[channel::kBits];
    bitsSource.RandomBits(raw, channel::kBits);
    channel::FrameEncoder(chain.target).Precode(raw, channel::kBits, prec);
    const engine::ChannelDesign d = engine::DesignChannel(chain, 0);
    const int first = d.equalizer.FirstInput(0);
    const int count = d.equalizer.LastInput(channel::kBits - 1) - first + 1;
    std::vector<float> x(static_cast<std::size_t>(count));
    channel::ReadScratch scratch;
    d.readback->Read(prec, channel::kBits, first, count, bitsSource, scratch, x.data());
    out.chain.resize(channel::kBits);
    channel::Equalize(d.equalizer, x.data(), first, channel::kBits, out.chain.data());
    return out;
}

TEST(EqualizedEye, AtTheInstantsOnAHeadItIsTheChainsEqualizer) {
    // The eye's bit response stops at 60 bit periods, the chain's a little
    // further: the difference is far below the levels' spacing.
    const struct {
        const char* target;
        double density;
        int taps;
    } cases[] = {{"e3pr4", 2.5, 15}, {"epr4", 2.0, 11}, {"e2pr4", 3.0, 31}, {"pr4", 1.0, 63}};
    for (const auto& c : cases) {
        const Both b = Compare(Chain(c.target, true, c.density, c.taps), 5);
        for (int k = b.windows.first; k <= b.windows.last; ++k)
            EXPECT_NEAR(b.eye[static_cast<std::size_t>(k)], b.chain[static_cast<std::size_t>(k)],
                        2e-3)
                << c.target << " " << c.density << " sample " << k;
    }
}

TEST(EqualizedEye, OnAHeadTheInstantsSitOnTheLevelsUpToTheResidualIsi) {
    // Without noise or jitter an equalized sample is its level plus the ISI
    // the design leaves, of variance the design's mean-squared error (a
    // little less here: the block's neighbours are zeros, not random): every
    // hit at the middle instant lies within `reach` of a level's row, and
    // every opening is open. A long equalizer to a target the head suits
    // leaves nearly none (zero ISI); the readback eye has no levels at all.
    const struct {
        const char* target;
        double density;
        int taps;
        double reach;  // levels
        double height; // the smallest opening, at least
    } cases[] = {
        {"epr4", 2.0, 31, 0.02, 0.95}, {"e2pr4", 2.5, 21, 0.03, 0.9}, {"e3pr4", 2.5, 15, 0.1, 0.7}};
    for (const auto& c : cases) {
        engine::EyeSettings s;
        s.chain = Chain(c.target, true, c.density, c.taps);
        s.sigma = 0;
        s.blocks = 1500;
        s.threads = 2;
        s.point = EyePoint::kEqualized;
        engine::EyeGeometry g;
        const engine::EyeImage eye = Draw(s, g);
        const engine::EyeOpenings o = engine::OpeningsOf(eye, s.chain.target);
        ASSERT_EQ(o.gaps.size(), s.chain.target.Levels().size() - 1) << c.target;
        EXPECT_GE(o.gaps[static_cast<std::size_t>(o.smallest)].height, c.height) << c.target;
        std::uint64_t near = 0, far = 0;
        for (int y = 0; y < g.height; ++y) {
            double gap = 1e9;
            for (float level : s.chain.target.Levels())
                gap = std::min(gap,
                               std::fabs(y - g.zeroRow - static_cast<double>(level) * g.levelStep));
            (gap <= c.reach * g.levelStep + 0.5 ? near : far) += eye.At(o.column, y);
        }
        EXPECT_EQ(far, 0u) << c.target;
        EXPECT_EQ(near, eye.Traces()) << c.target;
        const double mse = engine::DesignChannel(s.chain, 0).equalizer.mse;
        EXPECT_LT(std::sqrt(mse), c.reach) << c.target;
    }
}

TEST(RecoveredEye, TheLoopsOwnSamplesAtTheInstants) {
    const struct {
        bool head;
        const char* target;
        double phase, ppm, sigma;
        double rms; // at most
    } cases[] = {{false, "e3pr4", 0, 0, 0, 0},
                 {false, "epr4", 0.4, 200, 0, 0.02},
                 {true, "epr4", 0.4, 200, 0.05, 0.03}};
    for (const auto& c : cases) {
        engine::EyeSettings s;
        s.chain = Chain(c.target, c.head, 2.5, 15);
        s.chain.timing.phase = c.phase;
        s.chain.timing.freqPpm = c.ppm;
        s.sigma = c.sigma;
        s.point = EyePoint::kEqualized;
        s.threads = 2;
        engine::EyeGeometry g;
        ASSERT_EQ(engine::FitEye(301, 241, 2, engine::RangeOf(s.chain, s.point), g), "");
        const std::atomic<bool> stop{false};
        engine::RecoveredEye two, one;
        ASSERT_TRUE(engine::DrawRecoveredEye(s, g, 3, stop, two));
        s.threads = 1;
        ASSERT_TRUE(engine::DrawRecoveredEye(s, g, 3, stop, one));
        EXPECT_EQ(one.image.hits, two.image.hits) << c.target;
        EXPECT_EQ(one.squares, two.squares) << c.target;
        EXPECT_EQ(two.image.blocks, 3u);
        EXPECT_EQ(two.slipped, 0u) << c.target;
        EXPECT_LE(two.Rms(), c.rms) << c.target;
        EXPECT_EQ(two.image.traces, 3u * engine::kRecoveredFrameBits / 2) << c.target;
        // Every trace crosses the middle instant once.
        const int x = g.PointColumn(5 * g.uis);
        std::uint64_t crossing = 0, onLevels = 0;
        for (int y = 0; y < g.height; ++y) {
            crossing += two.image.At(x, y);
            for (float level : s.chain.target.Levels())
                if (y == g.ValueRow(level)) onLevels += two.image.At(x, y);
        }
        EXPECT_EQ(crossing, two.image.traces) << c.target;
        // A still clock on the ideal channel without noise reads the levels.
        if (!c.head && c.phase == 0) {
            EXPECT_EQ(onLevels, crossing);
        }
    }
}

} // namespace
