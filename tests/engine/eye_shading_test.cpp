// How the eye's counts are shown: the colour ramp, the scale, its ticks, and
// the openings at the sampling instant; and the eye drawn in batches.
#include "engine/eye_shading.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double Luminance(engine::Rgb c) {
    auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(c >> 16 & 255) + 0.7152 * linear(c >> 8 & 255) +
           0.0722 * linear(c & 255);
}

engine::EyeImage Drawn(const char* name, int width, int height, double sigma,
                       std::uint64_t blocks) {
    channel::Target target;
    EXPECT_EQ(channel::Target::Parse(name, target), "");
    engine::EyeSettings s;
    s.chain.target = target;
    s.blocks = blocks;
    s.sigma = sigma;
    s.threads = 2;
    engine::EyeGeometry g;
    EXPECT_EQ(engine::FitEye(width, height, 2, engine::RangeOf(s.chain), g), "");
    const std::atomic<bool> stop{false};
    engine::EyeImage image;
    engine::DrawEye(s, g, stop, image);
    return image;
}

TEST(EyeShading, ARampOfRisingLightnessFromVioletToYellow) {
    const std::array<engine::Rgb, 256> p = engine::EyePalette();
    EXPECT_EQ(p[0], 0x000000u);
    // The ends and the middle, pinned: dark violet-blue, teal, light yellow.
    EXPECT_EQ(p[1], 0x2d0d78u) << std::hex << p[1];
    EXPECT_EQ(p[128], 0x009c99u) << std::hex << p[128];
    EXPECT_EQ(p[255], 0xfff19bu) << std::hex << p[255];
    // Never darker than the colour before; 8-bit rounding may tie two
    // neighbours, never four.
    for (int i = 2; i < 256; ++i) {
        EXPECT_GE(Luminance(p[i]), Luminance(p[i - 1])) << i;
        if (i >= 4) {
            EXPECT_GT(Luminance(p[i]), Luminance(p[i - 3])) << i;
        }
    }
    EXPECT_GT(Luminance(p[1]), Luminance(p[0]) + 0.01); // no hit stays apart from one hit
}

TEST(EyeShading, LinearUpToTheNinetyNinthPercentile) {
    const engine::EyeScale scale{100};
    const struct {
        std::uint32_t hits;
        int index;
    } cases[] = {{0, 0}, {1, 4}, {2, 6}, {50, 128}, {99, 252}, {100, 255}, {5000, 255}};
    for (const auto& c : cases) EXPECT_EQ(scale.Index(c.hits), c.index) << c.hits;

    // 200 pixels hit 1 ... 200 times among zeros: the 198th count is the top.
    engine::EyeImage image;
    for (std::uint32_t h = 200; h >= 1; --h) {
        image.hits.push_back(h);
        image.hits.push_back(0);
    }
    EXPECT_EQ(engine::ScaleOf(image).full, 198u);
    EXPECT_EQ(engine::ScaleOf(engine::EyeImage{}).full, 1u);

    const struct {
        std::uint32_t full;
        std::vector<std::uint32_t> ticks;
    } ticks[] = {{1, {0, 1}},
                 {4, {0, 2, 4}},
                 {10, {0, 5, 10}},
                 {1651, {0, 500, 1000, 1500}},
                 {27276, {0, 10000, 20000}}};
    for (const auto& t : ticks) EXPECT_EQ(engine::ScaleTicks({t.full}), t.ticks) << t.full;
}

TEST(EyeShading, OpeningsAtTheSamplingInstant) {
    // Without noise every gap between neighbouring levels is open from one
    // level's row to the next: one level high.
    const engine::EyeImage quiet = Drawn("e3pr4", 401, 301, 0, 2000);
    const engine::EyeOpenings o = engine::OpeningsOf(quiet, channel::Target());
    EXPECT_EQ(o.column, quiet.geometry.PointColumn(10));
    ASSERT_EQ(o.gaps.size(), 12u);
    for (std::size_t i = 0; i < o.gaps.size(); ++i) {
        const int level = static_cast<int>(i) - 6;
        EXPECT_EQ(o.gaps[i].low, level);
        EXPECT_EQ(o.gaps[i].bottomRow, quiet.geometry.LevelRow(level)) << level;
        EXPECT_EQ(o.gaps[i].topRow, quiet.geometry.LevelRow(level + 1)) << level;
        EXPECT_EQ(o.gaps[i].height, 1.0) << level;
    }
    EXPECT_EQ(o.smallest, 0);

    // Noise closes them from both sides. Pinned at this seed: E3PR4 and PR4
    // at sigma 0.1, and PR4 at 0.15, where a trace in 200 passes the middle
    // between two levels (Q(3.3)): closed.
    const struct {
        const char* target;
        double sigma;
        int smallest;
        double height;
    } cases[] = {{"e3pr4", 0.1, 3, 1 / 3.0}, {"pr4", 0.1, 0, 10 / 75.0}, {"pr4", 0.15, 0, 0}};
    for (const auto& c : cases) {
        channel::Target target;
        channel::Target::Parse(c.target, target);
        const engine::EyeOpenings n =
            engine::OpeningsOf(Drawn(c.target, 401, 301, c.sigma, 4000), target);
        ASSERT_GE(n.smallest, 0);
        EXPECT_EQ(n.smallest, c.smallest) << c.target << " " << c.sigma;
        EXPECT_NEAR(n.gaps[n.smallest].height, c.height, 1e-6) << c.target << " " << c.sigma;
        for (const engine::EyeOpening& gap : n.gaps) EXPECT_LT(gap.height, 1.0) << c.target;
    }
}

TEST(EyeShading, BatchesOfChunksAddUpToTheWholeEye) {
    engine::EyeSettings s;
    s.blocks = 1500; // six chunks, the last one short
    s.sigma = 0.3;
    s.threads = 2;
    engine::EyeGeometry g;
    ASSERT_EQ(engine::FitEye(200, 120, 2, engine::RangeOf(s.chain), g), "");
    const std::atomic<bool> go{false}, stop{true};
    engine::EyeImage whole, parts;
    ASSERT_TRUE(engine::DrawEye(s, g, go, whole));
    ASSERT_EQ(engine::EyeChunks(s), 6u);
    const std::uint64_t cuts[] = {0, 1, 3, 6};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(engine::DrawEyeChunks(s, g, cuts[i], cuts[i + 1], go, parts));
        EXPECT_EQ(parts.blocks, std::min<std::uint64_t>(s.blocks, cuts[i + 1] * 256));
    }
    EXPECT_EQ(parts.hits, whole.hits);
    // A stopped batch draws nothing more and says so.
    EXPECT_FALSE(engine::DrawEyeChunks(s, g, 6, 9, stop, parts));
    EXPECT_FALSE(engine::DrawEyeChunks(s, g, 0, 2, stop, parts));
    EXPECT_EQ(parts.hits, whole.hits);
}

} // namespace
