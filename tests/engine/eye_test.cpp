// The eye diagram's density: where the noise-free waveform may go, its
// symmetry in sign, and that threads do not change it.
#include "engine/eye_diagram.h"

#include <atomic>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace {

engine::EyeImage Draw(const engine::EyeGeometry& g, double sigma, std::uint64_t blocks, int threads,
                      const channel::Target& target = {}) {
    engine::EyeSettings settings;
    settings.chain.target = target;
    settings.blocks = blocks;
    settings.sigma = sigma;
    settings.uis = g.uis;
    settings.threads = threads;
    const std::atomic<bool> stop{false};
    engine::EyeImage image;
    EXPECT_TRUE(engine::DrawEye(settings, g, stop, image));
    return image;
}

TEST(Eye, WithoutNoiseSamplingInstantsHitOnlyTheLevels) {
    // E3PR4 (levels -6 ... 6), PR4 (-1 ... 1, memory 2: windows start at
    // sample 2) and 1,2,1 (0 ... 4, drawn around the middle row).
    const struct {
        const char* target;
        int width, height, uis, pointStep, levelStep, windows, zeroRow;
    } cases[] = {{"e3pr4", 401, 301, 2, 20, 21, 17, 150}, {"e3pr4", 120, 60, 1, 11, 4, 33, 29},
                 {"e3pr4", 700, 200, 3, 23, 14, 11, 99},  {"e3pr4", 700, 601, 16, 4, 42, 2, 300},
                 {"pr4", 401, 301, 2, 20, 75, 18, 150},   {"1,2,1", 200, 101, 1, 19, 16, 36, 18}};
    for (const auto& c : cases) {
        channel::Target target;
        ASSERT_EQ(channel::Target::Parse(c.target, target), "");
        engine::EyeGeometry g;
        engine::ChainSettings chain;
        chain.target = target;
        ASSERT_EQ(engine::FitEye(c.width, c.height, c.uis, engine::RangeOf(chain), g), "");
        EXPECT_EQ(g.pointStep, c.pointStep) << c.target;
        EXPECT_EQ(g.levelStep, c.levelStep) << c.target;
        EXPECT_EQ(g.zeroRow, c.zeroRow) << c.target;
        EXPECT_EQ(engine::WindowsOf(c.uis, target.Memory()).count, c.windows) << c.target;
        const std::uint64_t blocks = 3000;
        const engine::EyeImage eye = Draw(g, 0, blocks, 2, target);
        const int low = static_cast<int>(g.low), levels = static_cast<int>(g.high - g.low) + 1;
        int samplePoints = 0;
        std::vector<std::uint64_t> level(static_cast<std::size_t>(levels));
        for (int o = 0; o <= 10 * c.uis; ++o) {
            if (!g.IsSamplePoint(o)) continue;
            ++samplePoints;
            const int x = g.PointColumn(o);
            std::uint64_t onLevels = 0, elsewhere = 0;
            for (int y = 0; y < g.height; ++y) {
                const int l = y - g.LevelRow(low);
                const bool isLevel = l >= 0 && l % g.levelStep == 0 && l / g.levelStep < levels;
                (isLevel ? onLevels : elsewhere) += eye.At(x, y);
                if (isLevel) level[static_cast<std::size_t>(l / g.levelStep)] += eye.At(x, y);
            }
            EXPECT_EQ(elsewhere, 0u) << c.target << " " << c.uis << " point " << o;
            EXPECT_EQ(onLevels, blocks * c.windows) << c.target << " " << c.uis << " point " << o;
        }
        // Every level shows, and the mirrored level (-L on E3PR4) about as
        // often: precoded random bits are fair.
        for (int l = 0; l < levels; ++l) {
            EXPECT_GT(level[l], 0u) << c.target << " level " << l + low;
            const double a = level[l], b = level[levels - 1 - l];
            EXPECT_LT(std::abs(a - b), 5 * std::sqrt(a + b)) << c.target << " level " << l + low;
        }
        EXPECT_EQ(samplePoints, c.uis % 2 == 0 ? c.uis + 1 : c.uis);
    }
}

TEST(Eye, NegatedWaveformDrawsTheMirrorImage) {
    engine::EyeGeometry g;
    ASSERT_EQ(engine::FitEye(161, 301, 2, engine::EyeRange{}, g),
              ""); // odd height: row 150 is level 0
    ASSERT_EQ(g.zeroRow * 2, g.height - 1);
    engine::EyeSource source(engine::ChainSettings{}, 0.6, g.uis);
    source.Start(7, 0);
    engine::EyePainter plain(g), negated(g);
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
    engine::EyeGeometry g;
    ASSERT_EQ(engine::FitEye(200, 120, 2, engine::EyeRange{}, g), "");
    const engine::EyeImage one = Draw(g, 0.4, 700, 1);
    const engine::EyeImage three = Draw(g, 0.4, 700, 3);
    EXPECT_EQ(one.blocks, 700u);
    EXPECT_EQ(one.hits, three.hits);
    EXPECT_NE(one.hits, Draw(g, 0.4, 699, 1).hits);
}

} // namespace
