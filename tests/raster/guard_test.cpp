// Every primitive, drawn many times with random arguments inside its
// contract, writes only inside the raster: the guard bytes around the block
// never change. Under the sanitizer build a stray access also stops the run.
#include "raster/primitives.h"
#include "test_raster.h"

#include <gtest/gtest.h>
#include <random>

namespace raster::test {
namespace {

constexpr std::int32_t W = 64, H = 48;

class Dice {
  public:
    explicit Dice(unsigned seed) : rng_(seed) {}
    std::int32_t In(std::int32_t lo, std::int32_t hi) {
        return std::uniform_int_distribution<std::int32_t>(lo, hi)(rng_);
    }
    std::int32_t Colour() { return In(-1000, 1000); } // only the low byte counts

  private:
    std::mt19937 rng_;
};

TEST(Guards, EveryPrimitiveStaysInsideTheRaster) {
    TestRaster r(W, H, 7);
    const RowTable rt = r.rt();
    Dice d(20261208);
    for (int round = 0; round < 4000; ++round) {
        const std::int32_t x1 = d.In(0, W - 1), y1 = d.In(0, H - 1);
        const std::int32_t x2 = d.In(0, W - 1), y2 = d.In(0, H - 1);
        // Points that leave room for a 2 x 2 block or a span's next column.
        const std::int32_t bx1 = d.In(0, W - 2), by1 = d.In(0, H - 2);
        const std::int32_t bx2 = d.In(0, W - 2), by2 = d.In(0, H - 2);
        const std::int32_t rad = d.In(1, 20);
        const std::int32_t cx = d.In(rad, W - 1 - rad), cy = d.In(rad, H - 1 - rad);
        const std::int32_t mx = d.In(4, W - 5), my = d.In(4, H - 5);
        const std::int32_t c = d.Colour(), c2 = d.Colour();
        std::uint16_t pattern = static_cast<std::uint16_t>(d.In(0, 0xFFFF));
        std::uint16_t phase = static_cast<std::uint16_t>(d.In(0, 0xFFFF));

        switch (round % 34) {
        case 0:
            FillSurface(rt, W, H, c);
            break;
        case 1:
            DrawGrid(rt, H, W, d.In(2, 20), d.In(2, 20), c);
            break;
        case 2:
            HLine(rt, x1, y1, x2, c);
            break;
        case 3:
            VLine(rt, x1, y1, y2, c);
            break;
        case 4:
            Line(rt, x1, y1, x2, y2, c);
            break;
        case 5:
            LinePattern(rt, x1, y1, x2, y2, c, pattern, phase);
            break;
        case 6:
            ColumnSpan(rt, bx1, y1, y2, c);
            break;
        case 7:
            SampleMarker(rt, mx, my, c);
            break;
        case 8:
            HLinePattern(rt, x1, y1, x2, c, pattern);
            break;
        case 9:
            VLinePattern(rt, x1, y1, y2, c, pattern);
            break;
        case 10:
            LineXor(rt, x1, y1, x2, y2, c);
            break;
        case 11:
            LineAddSat(rt, x1, y1, x2, y2, c);
            break;
        case 12:
            LineSubSat(rt, x1, y1, x2, y2, c);
            break;
        case 13:
            LineInc(rt, x1, y1, x2, y2);
            break;
        case 14:
            LineDec(rt, x1, y1, x2, y2);
            break;
        case 15:
            LineThick(rt, bx1, by1, bx2, by2, c);
            break;
        case 16:
            ColumnSpanXor(rt, bx1, y1, y2, c);
            break;
        case 17:
            ColumnSpanAddSat(rt, bx1, y1, y2, c);
            break;
        case 18:
            ColumnSpanInc(rt, bx1, y1, y2);
            break;
        case 19:
            ColumnSpanDec(rt, bx1, y1, y2);
            break;
        case 20:
            Circle(rt, cx, cy, rad, c);
            break;
        case 21:
            CircleXor(rt, cx, cy, rad, c);
            break;
        case 22:
            Disc(rt, cx, cy, rad, c);
            break;
        case 23:
            DiscOutlined(rt, cx, cy, rad, c, c2);
            break;
        case 24:
            RingMarker3(rt, mx, my, c);
            break;
        case 25:
            RingMarker4(rt, mx, my, c);
            break;
        case 26:
            RingMarker7(rt, mx, my, c);
            break;
        case 27:
            RingMarker9(rt, mx, my, c);
            break;
        case 28:
            FilledMarker3(rt, mx, my, c, c2);
            break;
        case 29:
            FilledMarker4(rt, mx, my, c, c2);
            break;
        case 30:
            FilledMarker5(rt, mx, my, c, c2);
            break;
        case 31:
            FilledMarker7(rt, mx, my, c, c2);
            break;
        case 32:
            ClearSurface(rt, W, H);
            break;
        case 33: {
            // The point lists fill exactly the sizes they promise.
            PointPair quarter[2 * 20 + 1 + 1], circle[4 * 42], left[42], right[42];
            std::int32_t n = 0, rows = 0;
            CircleQuarterPoints(rad, quarter, n);
            ASSERT_LE(n, 2 * rad + 1);
            if (n >= 3) CirclePointsFromQuarter(quarter, circle, n);
            DiscSpansFromQuarter(quarter, left, right, n, rows);
            ASSERT_EQ(rows, 2 * rad + 1);
            break;
        }
        }
        ASSERT_TRUE(r.GuardsIntact()) << "round " << round << ", case " << round % 34;
    }
}

// A call outside the contract stops at the entry check before it touches a
// byte. Only builds that keep assert() (the sanitizer build) can show it.
TEST(Guards, ContractBreachesStopAtTheEntryCheck) {
#if defined(NDEBUG) && defined(__SANITIZE_ADDRESS__)
    FAIL() << "the sanitizer build must keep assert()";
#elif defined(NDEBUG)
    GTEST_SKIP() << "assert() is compiled out in this build";
#else
    TestRaster r(W, H, 7);
    const RowTable rt = r.rt();
    const struct {
        const char* what;
        void (*draw)(RowTable);
    } breaches[] = {
        {"negative height", [](RowTable t) { ClearSurface(t, W, -1); }},
        {"negative x", [](RowTable t) { HLine(t, -1, 3, 5, 1); }},
        {"negative y", [](RowTable t) { Line(t, 2, -4, 9, 9, 1); }},
        {"radius 0", [](RowTable t) { Circle(t, 10, 10, 0, 1); }},
        {"marker too low", [](RowTable t) { RingMarker9(t, 20, 0, 1); }},
    };
    for (const auto& b : breaches) {
        EXPECT_DEATH(b.draw(rt), "Assertion") << b.what;
    }
#endif
}

} // namespace
} // namespace raster::test
