// The ColumnSpan path, and the pixel-modifying variants of Line and ColumnSpan.
#include <gtest/gtest.h>

#include "raster/primitives.h"
#include "test_raster.h"

namespace raster::test {
namespace {

TEST(ColumnSpanPath, UpwardRunStepsOverHalfway) {
    TestRaster r(32, 32);
    ColumnSpan(r.rt(), 10, 10, 15, 14);
    EXPECT_EQ(r.Not(0), (Pixels{{10, 10}, {10, 11}, {10, 12}, {11, 13}, {11, 14}}));
    EXPECT_EQ(r.at(10, 10), 14);
}

TEST(ColumnSpanPath, DownwardRunStepsOverHalfway) {
    TestRaster r(32, 32);
    ColumnSpan(r.rt(), 10, 15, 10, 14);
    EXPECT_EQ(r.Not(0), (Pixels{{10, 13}, {10, 14}, {10, 15}, {11, 11}, {11, 12}}));
}

TEST(ColumnSpanPath, ShortRunsStayInTheirColumn) {
    TestRaster two(32, 32), one(32, 32), zero(32, 32);
    ColumnSpan(two.rt(), 10, 10, 12, 1);
    ColumnSpan(one.rt(), 10, 10, 11, 1);
    ColumnSpan(zero.rt(), 10, 10, 10, 1);
    EXPECT_EQ(two.Not(0), (Pixels{{10, 10}, {10, 11}}));
    EXPECT_EQ(one.Not(0), (Pixels{{10, 10}}));
    EXPECT_EQ(zero.Not(0), (Pixels{{10, 10}}));
}

TEST(ColumnSpanPath, ARisingTraceJoinsWithoutGapsOrDoubles) {
    // Consecutive spans share their end row, which only the next span sets.
    TestRaster r(16, 64);
    const std::int32_t ys[] = {5, 40, 45, 45, 60, 61};
    for (int i = 0; i + 1 < 6; ++i) ColumnSpanInc(r.rt(), i, ys[i], ys[i + 1]);
    EXPECT_EQ(r.Count(2), 0u);
    EXPECT_EQ(r.Count(1), 35u + 5 + 1 + 15 + 1);
    // Column 2 ends span 1 (rows 43, 44) and holds span 2's single pixel (45).
    EXPECT_EQ(r.at(2, 42), 0);
    EXPECT_EQ(r.at(2, 43), 1);
    EXPECT_EQ(r.at(2, 45), 1);
    EXPECT_EQ(r.at(3, 45), 1);
}

TEST(LineVariants, IncAndDecWrap) {
    TestRaster r(16, 4, 255);
    LineInc(r.rt(), 2, 1, 6, 1);
    EXPECT_EQ(r.With(0), (Pixels{{2, 1}, {3, 1}, {4, 1}, {5, 1}}));
    r.Fill(0);
    LineDec(r.rt(), 2, 1, 6, 1);
    EXPECT_EQ(r.With(255), (Pixels{{2, 1}, {3, 1}, {4, 1}, {5, 1}}));
}

TEST(ColumnSpanVariants, IncAndDecSaturate) {
    TestRaster r(16, 16, 255);
    ColumnSpanInc(r.rt(), 3, 2, 9);
    EXPECT_EQ(r.Count(255), 256u);
    r.Fill(0);
    ColumnSpanDec(r.rt(), 3, 2, 9);
    EXPECT_EQ(r.Count(0), 256u);
    r.Fill(7);
    ColumnSpanInc(r.rt(), 3, 2, 9);
    ColumnSpanDec(r.rt(), 3, 9, 2); // the reverse run covers other pixels
    EXPECT_EQ(r.With(8), (Pixels{{3, 2}, {3, 3}, {3, 4}, {3, 5}, {4, 6}, {4, 7}, {4, 8}}));
    EXPECT_EQ(r.With(6), (Pixels{{3, 6}, {3, 7}, {3, 8}, {3, 9}, {4, 3}, {4, 4}, {4, 5}}));
}

TEST(LineVariants, AddAndSubSaturate) {
    TestRaster r(16, 4, 0x40);
    LineAddSat(r.rt(), 0, 2, 4, 2, 0xF0);
    LineAddSat(r.rt(), 0, 1, 4, 1, 0x130); // low byte 0x30
    EXPECT_EQ(r.With(255), (Pixels{{0, 2}, {1, 2}, {2, 2}, {3, 2}}));
    EXPECT_EQ(r.With(0x70).size(), 4u);
    r.Fill(0x40);
    LineSubSat(r.rt(), 0, 2, 4, 2, 0x50);
    LineSubSat(r.rt(), 0, 1, 4, 1, 0x10);
    EXPECT_EQ(r.With(0), (Pixels{{0, 2}, {1, 2}, {2, 2}, {3, 2}}));
    EXPECT_EQ(r.With(0x30).size(), 4u);
}

TEST(ColumnSpanVariants, AddSaturates) {
    TestRaster r(8, 8, 0x40);
    ColumnSpanAddSat(r.rt(), 2, 1, 4, 0xF0);
    EXPECT_EQ(r.With(255), (Pixels{{2, 1}, {2, 2}, {3, 3}}));
    ColumnSpanAddSat(r.rt(), 5, 1, 1, 0x05);
    EXPECT_EQ(r.at(5, 1), 0x45);
}

TEST(XorVariants, TwiceRestoresTheRaster) {
    TestRaster r(64, 64);
    for (std::int32_t i = 0; i < 64 * 64; ++i) r.block()[i] = static_cast<std::uint8_t>(i * 7);
    const auto before = r.Snapshot();
    LineXor(r.rt(), 3, 60, 50, 2, 0x5A);
    EXPECT_NE(r.Snapshot(), before);
    EXPECT_EQ(r.at(3, 60), static_cast<std::uint8_t>(((60 * 64 + 3) * 7) ^ 0x5A));
    LineXor(r.rt(), 3, 60, 50, 2, 0x5A);
    EXPECT_EQ(r.Snapshot(), before);
    ColumnSpanXor(r.rt(), 20, 5, 30, 0xFF);
    EXPECT_NE(r.Snapshot(), before);
    ColumnSpanXor(r.rt(), 20, 5, 30, 0xFF);
    EXPECT_EQ(r.Snapshot(), before);
}

TEST(LineVariants, ModifyExactlyThePixelsOfTheLinePath) {
    const std::int32_t lines[][4] = {{5, 5, 40, 17}, {40, 17, 5, 5}, {9, 2, 2, 30}, {0, 0, 20, 20}};
    for (const auto& l : lines) {
        TestRaster ref(48, 48), x(48, 48, 1);
        Line(ref.rt(), l[0], l[1], l[2], l[3], 1);
        const Pixels path = ref.With(1);
        LineXor(x.rt(), l[0], l[1], l[2], l[3], 3); // 1 ^ 3 = 2
        EXPECT_EQ(x.With(2), path);
        LineInc(x.rt(), l[0], l[1], l[2], l[3]);
        EXPECT_EQ(x.With(3), path);
        LineSubSat(x.rt(), l[0], l[1], l[2], l[3], 1);
        LineDec(x.rt(), l[0], l[1], l[2], l[3]);
        EXPECT_EQ(x.With(1).size(), 48u * 48);
    }
}

TEST(LineVariants, ThickDrawsTheUnionOfTwoByTwoBlocks) {
    TestRaster r(16, 16);
    LineThick(r.rt(), 2, 3, 5, 4, 9); // path (2,3), (3,3), (4,4)
    EXPECT_EQ(r.Not(0),
              Sorted({{2, 3}, {3, 3}, {4, 3}, {2, 4}, {3, 4}, {4, 4}, {5, 4}, {4, 5}, {5, 5}}));
    EXPECT_EQ(r.Count(9), 9u);
    TestRaster z(4, 4);
    LineThick(z.rt(), 1, 1, 1, 1, 9);
    EXPECT_TRUE(z.Not(0).empty());
}

} // namespace
} // namespace raster::test
