// Fixed-size markers.
#include <gtest/gtest.h>

#include "raster/primitives.h"
#include "test_raster.h"

namespace raster::test {
namespace {

constexpr std::int32_t X = 10, Y = 10;

Pixels At(std::initializer_list<Pixel> offsets) {
    Pixels out;
    for (const auto& [dx, dy] : offsets) out.emplace_back(X + dx, Y + dy);
    return Sorted(out);
}

TEST(Markers, SampleMarkerRing) {
    TestRaster r(24, 24);
    SampleMarker(r.rt(), X, Y, 0x20F);
    EXPECT_EQ(r.With(15), At({{-1, 2},
                              {0, 2},
                              {1, 2},
                              {-1, -2},
                              {0, -2},
                              {1, -2},
                              {-2, 1},
                              {-2, 0},
                              {-2, -1},
                              {2, 1},
                              {2, 0},
                              {2, -1}}));
    EXPECT_EQ(r.Not(0).size(), 12u);
}

TEST(Markers, SampleMarkerLeavesItsCentreAsTheTraceDrewIt) {
    TestRaster r(24, 24);
    ColumnSpan(r.rt(), X - 1, Y - 1, Y + 1, 14); // trace through (X-1, Y-1), (X-1, Y)
    r.at(X, Y) = 14;
    SampleMarker(r.rt(), X, Y, 15);
    EXPECT_EQ(r.at(X, Y), 14);
    EXPECT_EQ(r.at(X - 1, Y), 14);
    EXPECT_EQ(r.Count(15), 12u);
}

TEST(Markers, RingShapes) {
    struct Case {
        void (*draw)(RowTable, std::int32_t, std::int32_t, std::int32_t);
        Pixels ring;
    };
    const Case cases[] = {
        {RingMarker3, At({{0, 1}, {-1, 0}, {1, 0}, {0, -1}})},
        {RingMarker4, At({{0, 2}, {1, 2}, {0, -1}, {1, -1}, {-1, 1}, {2, 1}, {-1, 0}, {2, 0}})},
        {RingMarker7, At({{-1, 3},
                          {0, 3},
                          {1, 3},
                          {-1, -3},
                          {0, -3},
                          {1, -3},
                          {-2, 2},
                          {2, 2},
                          {-2, -2},
                          {2, -2},
                          {-3, 1},
                          {-3, 0},
                          {-3, -1},
                          {3, 1},
                          {3, 0},
                          {3, -1}})},
        {RingMarker9,
         At({{-2, 4}, {-1, 4},  {0, 4},   {1, 4}, {2, 4},   {-2, -4}, {-1, -4}, {0, -4},
             {1, -4}, {2, -4},  {-3, 3},  {3, 3}, {-3, -3}, {3, -3},  {-4, 2},  {-4, 1},
             {-4, 0}, {-4, -1}, {-4, -2}, {4, 2}, {4, 1},   {4, 0},   {4, -1},  {4, -2}})},
    };
    const std::size_t sizes[] = {4, 8, 16, 24};
    for (int i = 0; i < 4; ++i) {
        TestRaster r(24, 24, 0x33);
        cases[i].draw(r.rt(), X, Y, 7);
        EXPECT_EQ(r.With(7), cases[i].ring) << i;
        EXPECT_EQ(r.With(7).size(), sizes[i]) << i;
        EXPECT_EQ(r.Not(0x33).size(), sizes[i]) << i;
        EXPECT_TRUE(r.GuardsIntact());
    }
}

TEST(Markers, OddRingsAreTheSmallCircles) {
    const std::int32_t radii[] = {1, 2, 3};
    void (*const rings[])(RowTable, std::int32_t, std::int32_t,
                          std::int32_t) = {RingMarker3, SampleMarker, RingMarker7};
    for (int i = 0; i < 3; ++i) {
        TestRaster m(24, 24), c(24, 24);
        rings[i](m.rt(), X, Y, 5);
        Circle(c.rt(), X, Y, radii[i], 5);
        EXPECT_EQ(m.Not(0), c.Not(0)) << "r = " << radii[i];
    }
}

TEST(Markers, NineIsNotTheRadiusFourCircle) {
    TestRaster m(24, 24), c(24, 24);
    RingMarker9(m.rt(), X, Y, 5);
    Circle(c.rt(), X, Y, 4, 5);
    EXPECT_EQ(c.Not(0),
              At({{-1, 4},  {0, 4},  {1, 4},   {-1, -4}, {0, -4},  {1, -4}, {-2, 3}, {2, 3},
                  {-3, 3},  {3, 3},  {-2, -3}, {2, -3},  {-3, -3}, {3, -3}, {-3, 2}, {3, 2},
                  {-3, -2}, {3, -2}, {-4, 1},  {-4, 0},  {-4, -1}, {4, 1},  {4, 0},  {4, -1}}));
    EXPECT_NE(m.Not(0), c.Not(0));
}

TEST(Markers, FilledShapes) {
    struct Case {
        void (*draw)(RowTable, std::int32_t, std::int32_t, std::int32_t, std::int32_t);
        void (*ring)(RowTable, std::int32_t, std::int32_t, std::int32_t);
        Pixels interior;
    };
    const Case cases[] = {
        {FilledMarker3, RingMarker3, At({{0, 0}})},
        {FilledMarker4, RingMarker4, At({{0, 0}, {1, 0}, {0, 1}, {1, 1}})},
        {FilledMarker5, SampleMarker,
         At({{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {0, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}})},
        {FilledMarker7, RingMarker7,
         At({{-1, 2}, {0, 2}, {1, 2},   {-1, -2}, {0, -2}, {1, -2}, {-2, 1},
             {-1, 1}, {0, 1}, {1, 1},   {2, 1},   {-2, 0}, {-1, 0}, {0, 0},
             {1, 0},  {2, 0}, {-2, -1}, {-1, -1}, {0, -1}, {1, -1}, {2, -1}})},
    };
    const std::size_t interiors[] = {1, 4, 9, 21};
    for (int i = 0; i < 4; ++i) {
        TestRaster f(24, 24), ring(24, 24);
        cases[i].draw(f.rt(), X, Y, 0x103, 0x104);
        cases[i].ring(ring.rt(), X, Y, 3);
        EXPECT_EQ(f.With(3), ring.With(3)) << i;
        EXPECT_EQ(f.With(4), cases[i].interior) << i;
        EXPECT_EQ(f.Count(4), interiors[i]) << i;
        EXPECT_EQ(f.Not(0).size(), ring.Count(3) + interiors[i]) << i;
    }
}

TEST(Markers, FilledMarkersMatchTheOutlinedDiscs) {
    void (*const filled[])(RowTable, std::int32_t, std::int32_t, std::int32_t,
                           std::int32_t) = {FilledMarker3, FilledMarker5, FilledMarker7};
    for (std::int32_t radius = 1; radius <= 3; ++radius) {
        TestRaster m(24, 24), d(24, 24);
        filled[radius - 1](m.rt(), X, Y, 1, 2);
        DiscOutlined(d.rt(), X, Y, radius, 1, 2);
        EXPECT_EQ(m.Snapshot(), d.Snapshot()) << "r = " << radius;
    }
}

} // namespace
} // namespace raster::test
