// Circle outlines, discs and the circle point lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "raster/primitives.h"
#include "test_raster.h"

namespace raster::test {
namespace {

// Offsets from the centre of the pixels that hold value.
Pixels Offsets(const TestRaster& r, std::uint8_t value, std::int32_t xc, std::int32_t yc) {
    Pixels out;
    for (const auto& [x, y] : r.With(value)) out.emplace_back(x - xc, y - yc);
    return Sorted(out);
}

TEST(CircleShapes, RadiusOne) {
    const Pixels diamond = Sorted({{10, 11}, {9, 10}, {11, 10}, {10, 9}});
    TestRaster c(20, 20), d(20, 20), o(20, 20);
    Circle(c.rt(), 10, 10, 1, 3);
    Disc(d.rt(), 10, 10, 1, 3);
    DiscOutlined(o.rt(), 10, 10, 1, 3, 4);
    EXPECT_EQ(c.Not(0), diamond);
    Pixels disc = diamond;
    disc.emplace_back(10, 10);
    EXPECT_EQ(d.With(3), Sorted(disc));
    EXPECT_EQ(d.Not(0).size(), 5u);
    EXPECT_EQ(o.With(3), diamond);
    EXPECT_EQ(o.With(4), (Pixels{{10, 10}}));
    EXPECT_EQ(o.Not(0).size(), 5u);
}

TEST(CircleShapes, OutlineSizes) {
    const std::int32_t radii[] = {1, 2, 3, 5, 10};
    const std::size_t sizes[] = {4, 12, 16, 28, 56};
    for (int i = 0; i < 5; ++i) {
        TestRaster r(32, 32);
        Circle(r.rt(), 15, 15, radii[i], 0x10F);
        EXPECT_EQ(r.With(0x0F).size(), sizes[i]) << "r = " << radii[i];
        EXPECT_EQ(r.Not(0).size(), sizes[i]) << "r = " << radii[i];
    }
}

TEST(CircleShapes, DiscAreas) {
    const std::int32_t radii[] = {1, 2, 3, 5};
    const std::size_t areas[] = {5, 21, 37, 97};
    for (int i = 0; i < 4; ++i) {
        TestRaster r(16, 16);
        Disc(r.rt(), 7, 7, radii[i], 6);
        EXPECT_EQ(r.Not(0).size(), areas[i]) << "r = " << radii[i];
    }
}

TEST(CircleShapes, RadiusFiveOutlineAndOutlinedDisc) {
    // Quadrant x >= 0, y >= 0 of the radius-5 outline.
    const Pixels quadrant{{0, 5}, {1, 5}, {2, 5}, {3, 4}, {4, 3}, {5, 0}, {5, 1}, {5, 2}};
    TestRaster c(16, 16);
    Circle(c.rt(), 7, 7, 5, 1);
    Pixels q;
    for (const auto& p : Offsets(c, 1, 7, 7))
        if (p.first >= 0 && p.second >= 0) q.push_back(p);
    EXPECT_EQ(q, quadrant);

    TestRaster o(16, 16);
    DiscOutlined(o.rt(), 7, 7, 5, 1, 2);
    EXPECT_EQ(o.Count(1), 28u);
    EXPECT_EQ(o.Count(2), 69u);
    EXPECT_EQ(o.With(1), c.With(1));
    // The top row (y + 5) is all outline: columns -2 .. 2.
    for (std::int32_t x = 5; x <= 9; ++x) EXPECT_EQ(o.at(x, 12), 1) << x;
}

TEST(CircleShapes, CircleXorChangesEachPixelOnceAndTwiceRestores) {
    for (const std::int32_t radius : {1, 2, 5, 17}) {
        TestRaster ref(40, 40), x(40, 40);
        for (std::int32_t i = 0; i < 40 * 40; ++i) x.block()[i] = static_cast<std::uint8_t>(i * 13);
        const auto before = x.Snapshot();
        Circle(ref.rt(), 20, 20, radius, 1);
        CircleXor(x.rt(), 20, 20, radius, 0x81);
        const auto after = x.Snapshot();
        std::size_t changed = 0;
        for (std::size_t i = 0; i < before.size(); ++i) {
            if (after[i] == before[i]) continue;
            ++changed;
            EXPECT_EQ(after[i], before[i] ^ 0x81);
            EXPECT_EQ(ref.block()[i], 1) << "outside the outline, r = " << radius;
        }
        EXPECT_EQ(changed, ref.Count(1)) << "r = " << radius;
        CircleXor(x.rt(), 20, 20, radius, 0x81);
        EXPECT_EQ(x.Snapshot(), before) << "r = " << radius;
    }
}

TEST(CirclePoints, QuarterLists) {
    PointPair pts[11];
    std::int32_t count = 0;
    CircleQuarterPoints(5, pts, count);
    ASSERT_EQ(count, 8);
    const std::int32_t expect[8][2] = {{5, 0}, {5, 1}, {5, 2}, {4, 3},
                                       {3, 4}, {2, 5}, {1, 5}, {0, 5}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(pts[i].x, expect[i][0]) << i;
        EXPECT_EQ(pts[i].y, expect[i][1]) << i;
    }
    CircleQuarterPoints(1, pts, count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(pts[0].x, 1);
    EXPECT_EQ(pts[0].y, 0);
    EXPECT_EQ(pts[1].x, 0);
    EXPECT_EQ(pts[1].y, 1);
}

TEST(CirclePoints, ClosedCircleFromTheRadiusFiveQuarter) {
    PointPair quarter[11], circle[29];
    std::int32_t n = 0;
    CircleQuarterPoints(5, quarter, n);
    ASSERT_EQ(n, 8);
    CirclePointsFromQuarter(quarter, circle, n);
    EXPECT_EQ(circle[0].x, 5);
    EXPECT_EQ(circle[0].y, 0);
    EXPECT_EQ(circle[28].x, 5);
    EXPECT_EQ(circle[28].y, 0);
    std::set<Pixel> seen;
    for (int i = 0; i < 28; ++i) {
        EXPECT_TRUE(seen.insert({circle[i].x, circle[i].y}).second) << "repeat at " << i;
        // Each step moves to a neighbour, going once around.
        EXPECT_LE(std::abs(circle[i + 1].x - circle[i].x), 1) << i;
        EXPECT_LE(std::abs(circle[i + 1].y - circle[i].y), 1) << i;
    }
    EXPECT_EQ(circle[7].x, 0);
    EXPECT_EQ(circle[7].y, 5);
    EXPECT_EQ(circle[14].x, -5);
    EXPECT_EQ(circle[14].y, 0);
    EXPECT_EQ(circle[21].x, 0);
    EXPECT_EQ(circle[21].y, -5);
    // The 28 distinct points are the radius-5 outline.
    TestRaster c(16, 16);
    Circle(c.rt(), 7, 7, 5, 1);
    EXPECT_EQ(Pixels(seen.begin(), seen.end()), Offsets(c, 1, 7, 7));
}

TEST(CirclePoints, RadiusOneClosesToo) {
    PointPair quarter[3], circle[5];
    std::int32_t n = 0;
    CircleQuarterPoints(1, quarter, n);
    CirclePointsFromQuarter(quarter, circle, n);
    const std::int32_t expect[5][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {1, 0}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(circle[i].x, expect[i][0]) << i;
        EXPECT_EQ(circle[i].y, expect[i][1]) << i;
    }
}

TEST(CirclePoints, RadiusFiveDiscSpans) {
    PointPair quarter[11], left[11], right[11];
    std::int32_t n = 0, count = 0;
    CircleQuarterPoints(5, quarter, n);
    DiscSpansFromQuarter(quarter, left, right, n, count);
    ASSERT_EQ(count, 11);
    const std::int32_t expect[11][2] = {{2, 5},  {3, 4},  {4, 3},  {5, 2},  {5, 1}, {5, 0},
                                        {5, -1}, {5, -2}, {4, -3}, {3, -4}, {2, -5}};
    for (int i = 0; i < 11; ++i) {
        EXPECT_EQ(right[i].x, expect[i][0]) << i;
        EXPECT_EQ(right[i].y, expect[i][1]) << i;
        EXPECT_EQ(left[i].x, -expect[i][0]) << i;
        EXPECT_EQ(left[i].y, expect[i][1]) << i;
    }
}

// Leftmost and rightmost column holding value on row y, or {1, 0} when none.
std::pair<std::int32_t, std::int32_t> Extent(TestRaster& r, std::int32_t y, std::uint8_t value) {
    std::int32_t lo = r.width(), hi = -1;
    for (std::int32_t x = 0; x < r.width(); ++x) {
        if (r.at(x, y) != value) continue;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    return hi < 0 ? std::pair<std::int32_t, std::int32_t>{1, 0} : std::pair{lo, hi};
}

TEST(CircleProperties, RadiiOneToOneHundred) {
    constexpr std::int32_t S = 203, C = 101;
    TestRaster outline(S, S), disc(S, S), outlined(S, S);
    PointPair quarter[201], left[201], right[201];
    for (std::int32_t radius = 1; radius <= 100; ++radius) {
        SCOPED_TRACE(radius);
        outline.Fill(0);
        disc.Fill(0);
        outlined.Fill(0);
        Circle(outline.rt(), C, C, radius, 1);
        Disc(disc.rt(), C, C, radius, 1);
        DiscOutlined(outlined.rt(), C, C, radius, 1, 2);
        const Pixels ring = Offsets(outline, 1, C, C);

        // The outline is symmetric about the diagonal.
        Pixels transposed;
        for (const auto& [x, y] : ring) transposed.emplace_back(y, x);
        EXPECT_EQ(Sorted(transposed), ring);

        // Outline == the quarter list in all four quadrants; the quarter runs
        // from (r, 0) to (0, r) in neighbour steps without repeats.
        std::int32_t n = 0;
        CircleQuarterPoints(radius, quarter, n);
        ASSERT_LE(n, 2 * radius + 1);
        EXPECT_EQ(quarter[0].x, radius);
        EXPECT_EQ(quarter[0].y, 0);
        EXPECT_EQ(quarter[n - 1].x, 0);
        EXPECT_EQ(quarter[n - 1].y, radius);
        std::set<Pixel> fromQuarter;
        for (std::int32_t i = 0; i < n; ++i) {
            if (i > 0) {
                EXPECT_LE(std::abs(quarter[i].x - quarter[i - 1].x), 1);
                EXPECT_LE(std::abs(quarter[i].y - quarter[i - 1].y), 1);
                EXPECT_FALSE(quarter[i].x == quarter[i - 1].x && quarter[i].y == quarter[i - 1].y);
            }
            for (const std::int32_t sx : {-1, 1})
                for (const std::int32_t sy : {-1, 1})
                    fromQuarter.insert({sx * quarter[i].x, sy * quarter[i].y});
        }
        EXPECT_EQ(Pixels(fromQuarter.begin(), fromQuarter.end()), ring);

        // The disc holds, on each row, exactly the run between the row's
        // outermost outline pixels; the outlined disc is the same area with
        // the outline on top.
        std::size_t area = 0;
        for (std::int32_t y = 0; y < S; ++y) {
            const auto ends = Extent(outline, y, 1);
            EXPECT_EQ(Extent(disc, y, 1), ends) << "row " << y - C;
            if (ends.second >= ends.first) area += ends.second - ends.first + 1;
        }
        EXPECT_EQ(disc.Count(1), area);
        EXPECT_EQ(outlined.With(1), outline.With(1));
        EXPECT_EQ(outlined.Count(2), area - ring.size());

        // Disc spans: one per row from y = r down to -r, x the outermost outline column.
        std::int32_t count = 0;
        DiscSpansFromQuarter(quarter, left, right, n, count);
        ASSERT_EQ(count, 2 * radius + 1);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t y = radius - i;
            EXPECT_EQ(right[i].y, y);
            EXPECT_EQ(left[i].y, y);
            const auto ends = Extent(outline, C + y, 1);
            EXPECT_EQ(right[i].x, ends.second - C);
            EXPECT_EQ(left[i].x, ends.first - C);
        }
        EXPECT_TRUE(outline.GuardsIntact() && disc.GuardsIntact() && outlined.GuardsIntact());
    }
}

} // namespace
} // namespace raster::test
