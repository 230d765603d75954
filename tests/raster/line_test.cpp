// The Line path and the operations that walk it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "raster/primitives.h"
#include "test_raster.h"

namespace raster::test {
namespace {

TEST(LinePath, SamePointDrawsNothing) {
    TestRaster r(16, 16);
    Line(r.rt(), 4, 4, 4, 4, 1);
    EXPECT_TRUE(r.Not(0).empty());
}

TEST(LinePath, HorizontalStopsOneShortOfTheEnd) {
    TestRaster r(600, 400);
    Line(r.rt(), 0, 380, 599, 380, 11);
    Pixels expect;
    for (std::int32_t x = 0; x <= 598; ++x) expect.emplace_back(x, 380);
    EXPECT_EQ(r.Not(0), expect);
    EXPECT_TRUE(r.GuardsIntact());
}

TEST(LinePath, VerticalStopsOneShortOfTheEnd) {
    TestRaster r(600, 400);
    Line(r.rt(), 100, 20, 100, 379, 12);
    Pixels expect;
    for (std::int32_t y = 20; y <= 378; ++y) expect.emplace_back(100, y);
    EXPECT_EQ(r.Not(0), expect);
}

TEST(LinePath, BackwardAxisLinesStartAtTheFirstPoint) {
    TestRaster r(16, 16);
    Line(r.rt(), 9, 2, 5, 2, 1);
    Line(r.rt(), 1, 14, 1, 11, 2);
    EXPECT_EQ(r.With(1), (Pixels{{6, 2}, {7, 2}, {8, 2}, {9, 2}}));
    EXPECT_EQ(r.With(2), (Pixels{{1, 12}, {1, 13}, {1, 14}}));
}

TEST(LinePath, OctantMirrorPair) {
    TestRaster a(64, 32), b(64, 32);
    Line(a.rt(), 30, 20, 37, 23, 5);
    Line(b.rt(), 30, 20, 23, 23, 5);
    EXPECT_EQ(a.Not(0),
              Sorted({{30, 20}, {31, 20}, {32, 21}, {33, 21}, {34, 22}, {35, 22}, {36, 23}}));
    EXPECT_EQ(b.Not(0),
              Sorted({{30, 20}, {29, 20}, {28, 21}, {27, 21}, {26, 22}, {25, 22}, {24, 23}}));
}

TEST(LinePath, SteepLineStepsTheColumnOnCarry) {
    // The transposed pair of the octant case: y major, the same offsets.
    TestRaster r(64, 64);
    Line(r.rt(), 20, 30, 23, 37, 5);
    EXPECT_EQ(r.Not(0),
              Sorted({{20, 30}, {20, 31}, {21, 32}, {21, 33}, {22, 34}, {22, 35}, {23, 36}}));
}

TEST(LinePath, DiagonalInAllFourDirections) {
    const int dirs[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    for (const auto& d : dirs) {
        TestRaster r(32, 32);
        Line(r.rt(), 16, 16, 16 + 5 * d[0], 16 + 5 * d[1], 3);
        Pixels expect;
        for (std::int32_t k = 0; k < 5; ++k) expect.emplace_back(16 + k * d[0], 16 + k * d[1]);
        EXPECT_EQ(r.Not(0), Sorted(expect)) << d[0] << "," << d[1];
    }
}

TEST(LinePath, UsesTheLowByteOfTheColour) {
    TestRaster r(8, 8);
    Line(r.rt(), 0, 0, 3, 0, 0x30E);
    EXPECT_EQ(r.With(0x0E).size(), 3u);
}

// Pixel k of any line lies at major offset k and minor offset
// floor((0x8000 + k * slope) / 0x10000), slope = floor(minor * 0x10000 / major).
Pixels ClosedForm(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    const std::int32_t dx = x2 - x1, dy = y2 - y1;
    const std::int32_t ax = std::abs(dx), ay = std::abs(dy);
    const std::int32_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const std::int32_t major = std::max(ax, ay), minor = std::min(ax, ay);
    Pixels out;
    if (major == 0) return out;
    const std::int64_t slope = (std::int64_t{minor} << 16) / major;
    for (std::int32_t k = 0; k < major; ++k) {
        std::int32_t m = static_cast<std::int32_t>((0x8000 + k * slope) >> 16);
        if (minor == major) m = k;
        if (ax >= ay)
            out.emplace_back(x1 + k * sx, y1 + m * sy);
        else
            out.emplace_back(x1 + m * sx, y1 + k * sy);
    }
    return Sorted(out);
}

TEST(LinePath, RandomLinesMatchTheClosedFormAndTheirMirrors) {
    constexpr std::int32_t W = 160, H = 120;
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<std::int32_t> px(0, W - 1), py(0, H - 1);
    for (int i = 0; i < 400; ++i) {
        const std::int32_t x1 = px(rng), y1 = py(rng), x2 = px(rng), y2 = py(rng);
        TestRaster a(W, H), mx(W, H), my(W, H);
        Line(a.rt(), x1, y1, x2, y2, 1);
        Line(mx.rt(), W - 1 - x1, y1, W - 1 - x2, y2, 1);
        Line(my.rt(), x1, H - 1 - y1, x2, H - 1 - y2, 1);
        const Pixels drawn = a.Not(0);
        ASSERT_EQ(drawn, ClosedForm(x1, y1, x2, y2)) << x1 << "," << y1 << " " << x2 << "," << y2;
        Pixels flippedX, flippedY;
        for (const auto& [x, y] : drawn) {
            flippedX.emplace_back(W - 1 - x, y);
            flippedY.emplace_back(x, H - 1 - y);
        }
        ASSERT_EQ(mx.Not(0), Sorted(flippedX)) << x1 << "," << y1 << " " << x2 << "," << y2;
        ASSERT_EQ(my.Not(0), Sorted(flippedY)) << x1 << "," << y1 << " " << x2 << "," << y2;
    }
}

TEST(LinePath, ClosedPolylineDrawsEveryJointOnce) {
    TestRaster r(64, 64);
    const std::int32_t v[5][2] = {{10, 10}, {50, 14}, {40, 55}, {12, 40}, {10, 10}};
    for (int i = 0; i < 4; ++i) LineInc(r.rt(), v[i][0], v[i][1], v[i + 1][0], v[i + 1][1]);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.at(v[i][0], v[i][1]), 1) << i;
}

TEST(LinePattern, HorizontalDashesAndReturnedWords) {
    struct Case {
        std::uint16_t pattern;
        std::uint16_t returned;
        std::size_t count;
    };
    for (const Case c : {Case{0x183C, 0x7830, 226}, Case{0x003C, 0x7800, 152}}) {
        TestRaster r(600, 400);
        std::uint16_t pattern = c.pattern, phase = 0;
        LinePattern(r.rt(), 0, 100, 599, 100, 8, pattern, phase);
        Pixels expect;
        for (std::int32_t x = 0; x <= 597; ++x)
            if (c.pattern >> (x % 16) & 1) expect.emplace_back(x, 100);
        EXPECT_EQ(expect.size(), c.count);
        EXPECT_EQ(r.Not(0), expect);
        EXPECT_EQ(pattern, c.returned);
        EXPECT_EQ(phase, 0); // axis-parallel steps never touch the phase
    }
}

TEST(LinePattern, VerticalMatchesTheAxisRule) {
    TestRaster r(8, 64);
    std::uint16_t pattern = 0x0F01, phase = 0x1234;
    LinePattern(r.rt(), 3, 50, 3, 10, 9, pattern, phase);
    Pixels expect;
    for (std::int32_t k = 0; k < 40; ++k)
        if (0x0F01 >> (k % 16) & 1) expect.emplace_back(3, 50 - k);
    EXPECT_EQ(r.Not(0), Sorted(expect));
    EXPECT_EQ(phase, 0x1234);
    EXPECT_EQ(pattern, 0x0F01 >> 8 | (0x0F01 << 8 & 0xFFFF)); // 40 rotations = 2 cycles + 8
}

TEST(LinePattern, DiagonalAdvancesThePhase) {
    TestRaster r(40, 40);
    std::uint16_t pattern = 0xFFFF, phase = 0;
    LinePattern(r.rt(), 10, 10, 30, 30, 1, pattern, phase);
    Pixels expect;
    for (std::int32_t k = 10; k < 30; ++k) expect.emplace_back(k, k);
    EXPECT_EQ(r.Not(0), expect);
    EXPECT_EQ(phase, 0x48C8);
    EXPECT_EQ(pattern, 0xFFFF);
}

TEST(LinePattern, PhaseCarriesSkipAPatternBit) {
    TestRaster r(40, 40);
    std::uint16_t pattern = 0x5555, phase = 0;
    LinePattern(r.rt(), 10, 10, 30, 30, 1, pattern, phase);
    Pixels expect;
    for (const std::int32_t k : {10, 12, 13, 16, 19, 20, 22, 23, 26, 27, 29})
        expect.emplace_back(k, k);
    EXPECT_EQ(r.Not(0), expect);
    EXPECT_EQ(pattern, 0x5555);
    EXPECT_EQ(phase, 0x48C8);
}

TEST(LinePattern, SlopedLineAdvancesThePhaseOnlyOnCarries) {
    // (30,20)-(37,23) moves the row three times: after points 1, 3 and 5.
    TestRaster r(64, 32);
    std::uint16_t pattern = 0xFFFF, phase = 0xF000;
    LinePattern(r.rt(), 30, 20, 37, 23, 4, pattern, phase);
    EXPECT_EQ(r.Not(0).size(), 7u);
    EXPECT_EQ(phase, 0x2E1E);
    // Bits 0, 2, 4, 6: without the extra rotations points 0, 2, 4, 6 would be
    // set. The first and third diagonal steps carry the phase (0xF000 +
    // 0x6A0A, then 0xC414 + 0x6A0A) and each skips one bit.
    TestRaster d(64, 32);
    pattern = 0x0055;
    phase = 0xF000;
    LinePattern(d.rt(), 30, 20, 37, 23, 4, pattern, phase);
    EXPECT_EQ(d.Not(0), (Pixels{{30, 20}, {33, 21}, {35, 22}}));
    EXPECT_EQ(pattern, 0x2A80);
    EXPECT_EQ(phase, 0x2E1E);
}

TEST(LinePattern, ZeroLengthReturnsBothWordsUnchanged) {
    TestRaster r(16, 16);
    std::uint16_t pattern = 0xBEEF, phase = 0x1357;
    LinePattern(r.rt(), 7, 7, 7, 7, 1, pattern, phase);
    EXPECT_TRUE(r.Not(0).empty());
    EXPECT_EQ(pattern, 0xBEEF);
    EXPECT_EQ(phase, 0x1357);
}

TEST(LinePattern, PolylineContinuesItsDashes) {
    // Two collinear halves with the returned words fed back equal one line.
    TestRaster whole(64, 4), halves(64, 4);
    std::uint16_t p1 = 0x0F0F, f1 = 0;
    LinePattern(whole.rt(), 0, 1, 50, 1, 1, p1, f1);
    std::uint16_t p2 = 0x0F0F, f2 = 0;
    LinePattern(halves.rt(), 0, 1, 23, 1, 1, p2, f2);
    LinePattern(halves.rt(), 23, 1, 50, 1, 1, p2, f2);
    EXPECT_EQ(halves.Not(0), whole.Not(0));
    EXPECT_EQ(p2, p1);
}

TEST(LinePattern, AxisParallelRunsFollowTheirPatternBitByBit) {
    // Along a row or a column, pixel k of the path is set exactly when bit
    // (k mod 16) of the starting pattern is 1; the pattern comes back turned
    // right by the path length and the phase is untouched. Runs of every
    // length and start, in both directions, cover the whole-group shortcut
    // and its tail.
    std::mt19937 rng(4242);
    for (int round = 0; round < 600; ++round) {
        TestRaster r(80, 80, 9);
        const std::uint16_t start = static_cast<std::uint16_t>(rng());
        const std::int32_t a = static_cast<std::int32_t>(rng() % 80);
        const std::int32_t b = static_cast<std::int32_t>(rng() % 80);
        const std::int32_t fixed = static_cast<std::int32_t>(rng() % 80);
        const bool horizontal = round % 2 == 0;
        std::uint16_t pattern = start, phase = 0x1234;
        if (horizontal) {
            LinePattern(r.rt(), a, fixed, b, fixed, 3, pattern, phase);
        } else {
            LinePattern(r.rt(), fixed, a, fixed, b, 3, pattern, phase);
        }
        const std::int32_t n = std::abs(b - a);
        const std::int32_t step = b > a ? 1 : -1;
        for (std::int32_t k = 0; k < n; ++k) {
            const std::int32_t t = a + k * step;
            const std::uint8_t want = ((start >> (k % 16)) & 1) ? 3 : 9;
            ASSERT_EQ(horizontal ? r.at(t, fixed) : r.at(fixed, t), want)
                << "round " << round << " pixel " << k;
        }
        EXPECT_EQ(r.Count(3) + r.Count(9), 80u * 80u);
        const int turn = n % 16;
        const std::uint16_t turned = static_cast<std::uint16_t>(
            turn == 0 ? start : (start >> turn) | (start << (16 - turn)));
        EXPECT_EQ(pattern, turned) << "round " << round;
        EXPECT_EQ(phase, 0x1234);
    }
}

} // namespace
} // namespace raster::test
