// The eye diagram's density: where the noise-free waveform may go, its
// symmetry in sign, and that threads do not change it.
#include "lab/eye_engine.h"

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>

namespace {

lab::EyeImage Draw(const lab::EyeGeometry& g, double sigma, std::uint64_t blocks, int threads) {
    lab::EyeSettings settings;
    settings.blocks = blocks;
    settings.sigma = sigma;
    settings.uis = g.uis;
    settings.threads = threads;
    const std::atomic<bool> stop{false};
    lab::EyeImage image;
    EXPECT_TRUE(lab::DrawEye(settings, g, stop, image));
    return image;
}

TEST(Eye, WithoutNoiseSamplingInstantsHitOnlyTheLevels) {
    const struct {
        int width, height, uis, pointStep, levelStep, windows;
    } cases[] = {{401, 301, 2, 20, 21, 17},
                 {120, 60, 1, 11, 4, 33},
                 {700, 200, 3, 23, 14, 11},
                 {700, 601, 16, 4, 42, 2}};
    for (const auto& c : cases) {
        lab::EyeGeometry g;
        ASSERT_EQ(lab::FitEye(c.width, c.height, c.uis, g), "");
        EXPECT_EQ(g.pointStep, c.pointStep);
        EXPECT_EQ(g.levelStep, c.levelStep);
        EXPECT_EQ(lab::WindowsOf(c.uis).count, c.windows);
        const std::uint64_t blocks = 3000;
        const lab::EyeImage eye = Draw(g, 0, blocks, 2);
        int samplePoints = 0;
        std::uint64_t level[13] = {};
        for (int o = 0; o <= 10 * c.uis; ++o) {
            if (!g.IsSamplePoint(o)) continue;
            ++samplePoints;
            const int x = g.PointColumn(o);
            std::uint64_t onLevels = 0, elsewhere = 0;
            for (int y = 0; y < g.height; ++y) {
                const int l = y - g.LevelRow(-6);
                const bool isLevel = l >= 0 && l % g.levelStep == 0 && l / g.levelStep <= 12;
                (isLevel ? onLevels : elsewhere) += eye.At(x, y);
                if (isLevel) level[l / g.levelStep] += eye.At(x, y);
            }
            EXPECT_EQ(elsewhere, 0u) << c.uis << " point " << o;
            EXPECT_EQ(onLevels, blocks * c.windows) << c.uis << " point " << o;
        }
        // Every level shows, and -L about as often as L.
        for (int l = 0; l < 6; ++l) {
            EXPECT_GT(level[l], 0u);
            const double a = level[l], b = level[12 - l];
            EXPECT_LT(std::abs(a - b), 5 * std::sqrt(a + b)) << "level " << l - 6;
        }
        EXPECT_EQ(samplePoints, c.uis % 2 == 0 ? c.uis + 1 : c.uis);
    }
}

TEST(Eye, NegatedWaveformDrawsTheMirrorImage) {
    lab::EyeGeometry g;
    ASSERT_EQ(lab::FitEye(161, 301, 2, g), ""); // odd height: row 150 is level 0
    ASSERT_EQ(g.zeroRow * 2, g.height - 1);
    lab::EyeSource source(0.6, g.uis);
    source.Start(7, 0);
    lab::EyePainter plain(g), negated(g);
    std::vector<std::uint32_t> a(g.width * g.height), b(a.size());
    for (int block = 0; block < 50; ++block) {
        channel::Wave wave, minus;
        const channel::Wave& w = source.NextBlock();
        for (int j = 0; j < channel::kColumns; ++j) wave[j] = w[j], minus[j] = -w[j];
        plain.DrawBlock(wave);
        negated.DrawBlock(minus);
    }
    plain.Drain(a);
    negated.Drain(b);
    std::uint64_t total = 0;
    for (int y = 0; y < g.height; ++y) {
        for (int x = 0; x < g.width; ++x) {
            ASSERT_EQ(a[y * g.width + x], b[(g.height - 1 - y) * g.width + x]) << x << "," << y;
            total += a[y * g.width + x];
        }
    }
    EXPECT_GT(total, 50u * 17 * 161);
}

TEST(Eye, ThreadsDoNotChangeTheHits) {
    lab::EyeGeometry g;
    ASSERT_EQ(lab::FitEye(200, 120, 2, g), "");
    const lab::EyeImage one = Draw(g, 0.4, 700, 1);
    const lab::EyeImage three = Draw(g, 0.4, 700, 3);
    EXPECT_EQ(one.blocks, 700u);
    EXPECT_EQ(one.hits, three.hits);
    EXPECT_NE(one.hits, Draw(g, 0.4, 699, 1).hits);
}

} // namespace
