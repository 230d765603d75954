// The plot's drawing on a raster of its own, without a window: the empty
// frame, the value scale and the trace.
#include "channel/coding.h"
#include "channel/random.h"
#include "channel/waveform.h"
#include "display/frame.h"
#include "display/trace.h"
#include "raster/surface.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace {

// A 600 x 400 plot raster, indexed [row * 600 + column], row 0 at the bottom.
struct PlotRaster {
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(600 * 400);
    std::array<std::uint8_t*, 400> rows{};
    PlotRaster() {
        for (int y = 0; y < 400; ++y) rows[y] = pixels.data() + 600 * y;
    }
    raster::Surface Surface() const { return {rows.data(), 600, 400, 600}; }
    int At(int x, int y) const { return pixels[y * 600 + x]; }
};

TEST(EmptyFrame, HoldsExactlyTheFrameColours) {
    PlotRaster r;
    display::DrawFrame(r.Surface());
    std::map<int, int> counts;
    for (std::uint8_t v : r.pixels) ++counts[v];
    const std::map<int, int> expected = {{0, 230093}, {2, 3216},  {8, 1796},
                                         {10, 2981},  {11, 1196}, {12, 718}};
    EXPECT_EQ(counts, expected);
}

TEST(EmptyFrame, PixelsWhereTheLinesMeet) {
    PlotRaster r;
    display::DrawFrame(r.Surface());
    struct P {
        int x, y, index;
    };
    const P pixels[] = {{598, 380, 11}, {599, 380, 10}, {100, 378, 12}, {100, 379, 2}, {100, 19, 2},
                        {100, 200, 12}, {300, 200, 10}, {0, 320, 10},   {2, 320, 8},   {11, 320, 8},
                        {50, 320, 8},   {6, 320, 0},    {11, 350, 0},   {349, 10, 2},  {350, 10, 0},
                        {500, 300, 0},  {599, 20, 10},  {499, 379, 2},  {499, 20, 12}, {0, 0, 10}};
    for (const P& p : pixels) EXPECT_EQ(r.At(p.x, p.y), p.index) << p.x << "," << p.y;
}

TEST(EmptyFrame, DashedRowsCarryTheirGreyCounts) {
    PlotRaster r;
    display::DrawFrame(r.Surface());
    auto grey = [&](int y) {
        int n = 0;
        for (int x = 0; x < 600; ++x) n += r.At(x, y) == 8;
        return n;
    };
    for (int y : {80, 140, 260, 320}) EXPECT_EQ(grey(y), 224) << "row " << y;
    for (int y : {50, 110, 170, 230, 290, 350}) EXPECT_EQ(grey(y), 150) << "row " << y;
    for (int y : {20, 200, 380, 0, 399, 81}) EXPECT_EQ(grey(y), 0) << "row " << y;
}

TEST(EmptyFrame, DrawnTwiceEqualsDrawnOnce) {
    PlotRaster r;
    display::DrawFrame(r.Surface());
    const std::vector<std::uint8_t> once = r.pixels;
    display::DrawFrame(r.Surface());
    EXPECT_EQ(r.pixels, once);
    // Whatever a run left behind is cleared by the next frame.
    channel::SeedRandom(1);
    channel::GenerateBlock();
    channel::BuildPulseTable();
    channel::SynthesizeWave();
    display::DrawTrace(r.Surface(), channel::waveBuf);
    display::DrawSampleMarkers(r.Surface(), channel::waveBuf);
    ASSERT_NE(r.pixels, once);
    display::DrawFrame(r.Surface());
    EXPECT_EQ(r.pixels, once);
}

TEST(ValueToRow, TruncatesTowardZero) {
    EXPECT_EQ(display::ValueToRow(0.0f), 200);
    EXPECT_EQ(display::ValueToRow(6.0f), 380);
    EXPECT_EQ(display::ValueToRow(-6.0f), 20);
    EXPECT_EQ(display::ValueToRow(0.999f), 229);
    EXPECT_EQ(display::ValueToRow(-0.01f), 199);
    EXPECT_EQ(display::ValueToRow(-6.7f), 0);
    EXPECT_EQ(display::ValueToRow(-7.0f), -10);
    EXPECT_EQ(display::ValueToRow(6.66f), 399);
    EXPECT_EQ(display::ValueToRow(6.7f), 400);
    // Just below a level: one row lower, as the sample noise decides.
    EXPECT_EQ(display::ValueToRow(-2.0000002f), 139);
    EXPECT_EQ(display::ValueToRow(3.0f), 290);
}

TEST(Trace, SilentBlockIsTheZeroRow) {
    PlotRaster r;
    channel::Sequence silent = {};
    channel::PulseTable pulse;
    channel::BuildPulseTable(pulse);
    channel::Wave wave;
    channel::SynthesizeWave(silent, pulse, wave);
    display::DrawFrame(r.Surface());
    display::DrawTrace(r.Surface(), wave);
    display::DrawSampleMarkers(r.Surface(), wave);
    for (int x = 0; x <= 598; ++x) {
        const bool ringColumn = x >= 98 && x <= 502 && ((x + 2) % 10 == 0 || (x + 8) % 10 == 0);
        if (!ringColumn) {
            EXPECT_EQ(r.At(x, 200), 14) << x;
        }
    }
    EXPECT_EQ(r.At(599, 200), 10);
    int yellow = 0;
    for (std::uint8_t v : r.pixels) yellow += v == 14;
    EXPECT_EQ(yellow, 599 - 2 * 41); // each ring covers the trace at x - 2 and x + 2
    for (int k = 0; k <= 40; ++k) EXPECT_EQ(r.At(100 + 10 * k, 202), 15);
}

} // namespace
