// At a device pixel ratio of 2 the plot is shown at twice its size by whole
// pixels (every raster pixel a 2 x 2 block of its colour, no blending), and
// the strips are drawn at the larger size rather than blown up. CTest runs
// these under QT_SCALE_FACTOR=2; at other densities they are skipped.
#include "channel/random.h"
#include "platform/canvas.h"
#include "window_fixture.h"

#include <QWidget>
#include <map>

using namespace testing_window;

namespace {

bool DoubleDensity() {
    return Window().Native()->devicePixelRatioF() == 2.0;
}

const std::map<int, platform::Colour> kPlotColours = {
    {0, 0x000000},  {2, 0x008000},  {8, 0x808080},  {10, 0x00FF00},
    {11, 0x00FFFF}, {12, 0xFF0000}, {14, 0xFFFF00}, {15, 0xFFFFFF}};

TEST(HighDensity, PlotScaledByWholePixels) {
    if (!DoubleDensity()) GTEST_SKIP() << "runs under QT_SCALE_FACTOR=2";
    display::TForm1& f = Window();
    channel::SeedRandom(1);
    f.Button1.Click();
    App().ProcessEvents();
    const Raster r = Plot();
    const platform::RgbImage shot = f.GrabClient();
    ASSERT_EQ(shot.width, 2 * 690);
    ASSERT_EQ(shot.height, 2 * 483);
    int wrong = 0;
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 600; ++x) {
            const int cx = 40 + x, cy = 40 + 399 - y;
            if (cx >= 304 && cx < 379 && cy >= 408 && cy < 433) continue; // the button
            const platform::Colour want = kPlotColours.at(At(r, x, y));
            for (int d = 0; d < 4; ++d) wrong += shot.At(2 * cx + d % 2, 2 * cy + d / 2) != want;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(HighDensity, StripsDrawnAtTheLargerSize) {
    if (!DoubleDensity()) GTEST_SKIP() << "runs under QT_SCALE_FACTOR=2";
    display::TForm1& f = Window();
    channel::SeedRandom(1);
    f.Button1.Click();
    App().ProcessEvents();
    const platform::RgbImage shot = f.GrabClient();
    // The raw-data strip: glyph rows span about twice a 12-pixel font's
    // digits, and single-device-pixel steps show it was not blown up.
    int top = -1, bottom = -1, oddEdges = 0;
    for (int y = 2 * 22; y < 2 * 36; ++y) {
        bool ink = false;
        for (int x = 2 * 40; x < 2 * 330; ++x) {
            const bool dark = shot.At(x, y) == platform::WindowTextColour();
            ink = ink || dark;
            if (dark && x % 2 == 1 && shot.At(x - 1, y) != platform::WindowTextColour()) ++oddEdges;
        }
        if (ink && top < 0) top = y;
        if (ink) bottom = y;
    }
    ASSERT_GE(top, 0);
    EXPECT_GE(bottom - top + 1, 14);
    EXPECT_GT(oddEdges, 0);
}

} // namespace
