// Whole-raster fills, the grid and the axis-parallel lines.
#include <gtest/gtest.h>

#include "raster/primitives.h"
#include "test_raster.h"

namespace raster::test {
namespace {

TEST(TestRasterLayout, RowsRunBottomUpWithoutGaps) {
    TestRaster r(600, 400);
    EXPECT_EQ(r.rt()[0], r.block());
    EXPECT_EQ(r.rt()[1] - r.rt()[0], 600);
    EXPECT_EQ(r.rt()[399], r.block() + 399 * 600);
    r.at(3, 0) = 15;
    EXPECT_EQ(r.block()[3], 15); // row 0 is the first line in memory
    EXPECT_TRUE(r.GuardsIntact());
}

TEST(WholeRaster, ClearSurfaceZeroesExactlyTheBlock) {
    TestRaster r(600, 400, 0x77);
    ClearSurface(r.rt(), 600, 400);
    EXPECT_EQ(r.Count(0), 240000u);
    EXPECT_TRUE(r.GuardsIntact());
}

TEST(WholeRaster, FillSurfaceUsesTheLowByteOnly) {
    TestRaster r(600, 400);
    FillSurface(r.rt(), 600, 400, 0x1234);
    EXPECT_EQ(r.Count(0x34), 240000u);
    EXPECT_TRUE(r.GuardsIntact());
}

TEST(WholeRaster, ByteCountNotAMultipleOfFourStopsAtTheLastByte) {
    TestRaster r(5, 3, 0x11);
    FillSurface(r.rt(), 5, 3, 9);
    EXPECT_EQ(r.Count(9), 15u);
    EXPECT_TRUE(r.GuardsIntact());
    ClearSurface(r.rt(), 5, 3);
    EXPECT_EQ(r.Count(0), 15u);
    EXPECT_TRUE(r.GuardsIntact());
}

std::vector<std::int32_t> FullRows(TestRaster& r, std::uint8_t c) {
    std::vector<std::int32_t> rows;
    for (std::int32_t y = 0; y < r.height(); ++y) {
        bool full = true;
        for (std::int32_t x = 0; x < r.width(); ++x) full = full && r.at(x, y) == c;
        if (full) rows.push_back(y);
    }
    return rows;
}

std::vector<std::int32_t> FullColumns(TestRaster& r, std::uint8_t c) {
    std::vector<std::int32_t> cols;
    for (std::int32_t x = 0; x < r.width(); ++x) {
        bool full = true;
        for (std::int32_t y = 0; y < r.height(); ++y) full = full && r.at(x, y) == c;
        if (full) cols.push_back(x);
    }
    return cols;
}

TEST(Grid, PositionsComeFromAccumulatedSinglePrecision) {
    TestRaster r(600, 400);
    DrawGrid(r.rt(), 400, 600, 13, 3, 10);
    EXPECT_EQ(FullRows(r, 10), (std::vector<std::int32_t>{0, 200, 399}));
    // 300 from the accumulated 299.5 and 349 (not 350) from 349.41666.
    EXPECT_EQ(FullColumns(r, 10), (std::vector<std::int32_t>{0, 50, 100, 150, 200, 250, 300, 349,
                                                             399, 449, 499, 549, 599}));
    // Nothing but grid lines.
    EXPECT_EQ(r.Count(10), 3u * 600 + 13u * 400 - 3u * 13);
    EXPECT_TRUE(r.GuardsIntact());
}

TEST(Grid, ThreeColumnLines) {
    TestRaster r(600, 400);
    DrawGrid(r.rt(), 400, 600, 3, 3, 2);
    EXPECT_EQ(FullColumns(r, 2), (std::vector<std::int32_t>{0, 300, 599}));
    EXPECT_EQ(FullRows(r, 2), (std::vector<std::int32_t>{0, 200, 399}));
}

TEST(Grid, SingleRowOrColumnRasterEndsAfterOneLine) {
    // A step of zero would otherwise keep the position at 0 forever.
    TestRaster r(8, 1);
    DrawGrid(r.rt(), 1, 8, 2, 2, 4);
    EXPECT_EQ(r.Count(4), 8u);
    TestRaster c(1, 6);
    DrawGrid(c.rt(), 6, 1, 2, 2, 4);
    EXPECT_EQ(c.Count(4), 6u);
    EXPECT_TRUE(r.GuardsIntact() && c.GuardsIntact());
}

TEST(AxisLines, HLineIncludesBothEndsInEitherOrder) {
    const Pixels expect{{5, 3}, {6, 3}, {7, 3}, {8, 3}, {9, 3}};
    TestRaster a(16, 8), b(16, 8);
    HLine(a.rt(), 9, 3, 5, 7);
    HLine(b.rt(), 5, 3, 9, 7);
    EXPECT_EQ(a.Not(0), expect);
    EXPECT_EQ(b.Not(0), expect);
    EXPECT_EQ(a.at(5, 3), 7);
}

TEST(AxisLines, VLineIncludesBothEndsInEitherOrder) {
    const Pixels expect{{4, 2}, {4, 3}, {4, 4}, {4, 5}};
    TestRaster a(16, 8), b(16, 8);
    VLine(a.rt(), 4, 5, 2, 0x109);
    VLine(b.rt(), 4, 2, 5, 0x109);
    EXPECT_EQ(a.With(9), expect);
    EXPECT_EQ(b.With(9), expect);
    EXPECT_EQ(a.Not(0).size(), 4u);
}

TEST(AxisLines, SinglePixelOnAOneRowRaster) {
    TestRaster r(8, 1);
    VLine(r.rt(), 3, 0, 0, 5);
    HLine(r.rt(), 6, 0, 6, 5);
    EXPECT_EQ(r.Not(0), (Pixels{{3, 0}, {6, 0}}));
    EXPECT_TRUE(r.GuardsIntact());
}

TEST(PatternedAxisLines, HLinePatternStartsAtTheSmallerEnd) {
    const Pixels expect{{4, 5}, {5, 5}, {6, 5}, {7, 5}, {13, 5}, {14, 5}, {20, 5}};
    for (const bool reversed : {false, true}) {
        TestRaster r(32, 8);
        std::uint16_t pattern = 0x183C;
        if (reversed)
            HLinePattern(r.rt(), 20, 5, 2, 3, pattern);
        else
            HLinePattern(r.rt(), 2, 5, 20, 3, pattern);
        EXPECT_EQ(r.Not(0), expect) << "reversed " << reversed;
        EXPECT_EQ(pattern, 0x8307) << "reversed " << reversed;
    }
}

TEST(PatternedAxisLines, VLinePattern) {
    TestRaster r(16, 24);
    std::uint16_t pattern = 0x0001;
    VLinePattern(r.rt(), 7, 20, 2, 6, pattern);
    EXPECT_EQ(r.Not(0), (Pixels{{7, 2}, {7, 18}}));
    EXPECT_EQ(r.at(7, 2), 6);
    EXPECT_EQ(pattern, 0x2000);
}

TEST(PatternedAxisLines, SinglePixelRotatesOnce) {
    TestRaster r(8, 4);
    std::uint16_t h = 0x0003, v = 0x0002;
    HLinePattern(r.rt(), 1, 1, 1, 9, h);
    VLinePattern(r.rt(), 5, 2, 2, 9, v);
    EXPECT_EQ(r.Not(0), (Pixels{{1, 1}}));
    EXPECT_EQ(h, 0x8001);
    EXPECT_EQ(v, 0x0001);
}

TEST(PatternedAxisLines, SixteenBitCycleOverALongRow) {
    TestRaster r(100, 2);
    std::uint16_t pattern = 0x8001; // bits 0 and 15
    HLinePattern(r.rt(), 0, 1, 99, 1, pattern);
    Pixels expect;
    for (std::int32_t x = 0; x < 100; ++x)
        if (x % 16 == 0 || x % 16 == 15) expect.emplace_back(x, 1);
    EXPECT_EQ(r.Not(0), expect);
    // 100 rotations = 6 full cycles + 4.
    EXPECT_EQ(pattern, 0x1800);
}

} // namespace
} // namespace raster::test
