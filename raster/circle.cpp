// Circle outlines, discs and circle point lists, all on the walk in
// circle_walk.h. Drawing runs walk A and then walk B.
#include <cassert>
#include <cstddef>
#include <cstring>

#include "raster/circle_walk.h"
#include "raster/primitives.h"

namespace raster {

namespace {

using walk::CircleStep;

std::uint8_t Low8(std::int32_t v) {
    return static_cast<std::uint8_t>(v);
}

// Centre address and row pitch of a circle. r >= 1 means the raster has at
// least three rows, so rowTable[1] exists.
std::uint8_t* Centre(RowTable rt, std::int32_t xc, std::int32_t yc, std::int32_t r) {
    assert(xc >= r && yc >= r && r >= 1);
    (void)r;
    return rt[yc] + xc;
}

std::ptrdiff_t Pitch(RowTable rt) {
    return rt[1] - rt[0];
}

// The mirrored points of one visit. On the first visit of either walk (t == 0)
// two of the four mirror images coincide; each distinct pixel is handed to the
// operation exactly once, which is what makes CircleXor reversible.
template <class Op> void OutlineA(std::uint8_t* c, const CircleStep& s, Op& op) {
    if (s.t == 0) {
        op(c - s.a);
        op(c + s.a);
        return;
    }
    op(c + s.tRow - s.a);
    op(c - s.tRow - s.a);
    op(c + s.tRow + s.a);
    op(c - s.tRow + s.a);
}

template <class Op> void OutlineB(std::uint8_t* c, const CircleStep& s, Op& op) {
    if (s.t == 0) {
        op(c + s.aRow);
        op(c - s.aRow);
        return;
    }
    op(c + s.aRow - s.t);
    op(c - s.aRow - s.t);
    op(c + s.aRow + s.t);
    op(c - s.aRow + s.t);
}

template <class Op>
void DrawOutline(RowTable rt, std::int32_t xc, std::int32_t yc, std::int32_t r, Op& op) {
    std::uint8_t* c = Centre(rt, xc, yc, r);
    const std::ptrdiff_t pitch = Pitch(rt);
    walk::Circle<false>(r, pitch, [&](const CircleStep& s) { OutlineA(c, s, op); });
    walk::Circle<true>(r, pitch, [&](const CircleStep& s) { OutlineB(c, s, op); });
}

struct SetOp {
    std::uint8_t colour;
    void operator()(std::uint8_t* p) const { *p = colour; }
};

struct XorOp {
    std::uint8_t colour;
    void operator()(std::uint8_t* p) const { *p ^= colour; }
};

// Columns centre - u .. centre + u of one row.
void FillRow(std::uint8_t* centre, std::int32_t u, std::uint8_t colour) {
    std::memset(centre - u, colour, 2 * static_cast<std::size_t>(u) + 1);
}

} // namespace

void Circle(RowTable rowTable, std::int32_t xc, std::int32_t yc, std::int32_t r,
            std::int32_t colour) {
    SetOp op{Low8(colour)};
    DrawOutline(rowTable, xc, yc, r, op);
}

void CircleXor(RowTable rowTable, std::int32_t xc, std::int32_t yc, std::int32_t r,
               std::int32_t colour) {
    XorOp op{Low8(colour)};
    DrawOutline(rowTable, xc, yc, r, op);
}

void Disc(RowTable rowTable, std::int32_t xc, std::int32_t yc, std::int32_t r,
          std::int32_t colour) {
    std::uint8_t* c = Centre(rowTable, xc, yc, r);
    const std::ptrdiff_t pitch = Pitch(rowTable);
    const std::uint8_t fill = Low8(colour);
    walk::Circle<false>(r, pitch, [&](const CircleStep& s) {
        FillRow(c + s.tRow, s.a, fill);
        if (s.t != 0) FillRow(c - s.tRow, s.a, fill);
    });
    // A row of walk B is widest on its last visit, the one after which a
    // moves on; the earlier visits of that row would only fill part of it.
    walk::Circle<true>(r, pitch, [&](const CircleStep& s) {
        if (!s.aDecreases) return;
        FillRow(c + s.aRow, s.t, fill);
        FillRow(c - s.aRow, s.t, fill);
    });
}

void DiscOutlined(RowTable rowTable, std::int32_t xc, std::int32_t yc, std::int32_t r,
                  std::int32_t outlineColour, std::int32_t fillColour) {
    std::uint8_t* c = Centre(rowTable, xc, yc, r);
    const std::ptrdiff_t pitch = Pitch(rowTable);
    const std::uint8_t fill = Low8(fillColour);
    SetOp outline{Low8(outlineColour)};
    // Walk A holds one visit per row: fill the row, then put its outline
    // pixels over the ends.
    walk::Circle<false>(r, pitch, [&](const CircleStep& s) {
        FillRow(c + s.tRow, s.a, fill);
        if (s.t != 0) FillRow(c - s.tRow, s.a, fill);
        OutlineA(c, s, outline);
    });
    // A row of walk B holds several visits, all of them outline from the
    // row's first t outward. Filling the whole width on the last visit would
    // cover the outline set by the earlier ones, so only the columns inside
    // the row's first t are filled. Walk A has run first, so the outline that
    // walk B adds on the diagonal row of walk A stays on top.
    std::int32_t rowStart = 0;
    walk::Circle<true>(r, pitch, [&](const CircleStep& s) {
        if (s.aDecreases) {
            if (rowStart > 0) {
                FillRow(c + s.aRow, rowStart - 1, fill);
                FillRow(c - s.aRow, rowStart - 1, fill);
            }
            rowStart = s.t + 1;
        }
        OutlineB(c, s, outline);
    });
}

void CircleQuarterPoints(std::int32_t r, PointPair* points, std::int32_t& count) {
    assert(r >= 1 && points != nullptr);
    std::int32_t m = 0;
    walk::Circle<false>(r, 0, [&](const CircleStep& s) { points[m++] = PointPair{s.a, s.t}; });
    // Mirror walk A about the diagonal to reach (0, r). A last point on the
    // diagonal is its own mirror image and is not written twice.
    std::int32_t i = m - 1;
    if (points[i].x == points[i].y) --i;
    std::int32_t n = m;
    for (; i >= 0; --i) points[n++] = PointPair{points[i].y, points[i].x};
    count = n;
}

void CirclePointsFromQuarter(const PointPair* quarter, PointPair* points, std::int32_t n) {
    // n == 2 (radius 1) also closes correctly: the diamond and its start again.
    assert(n >= 2 && quarter != nullptr && points != nullptr);
    std::int32_t k = 0;
    for (std::int32_t i = 0; i < n; ++i) points[k++] = quarter[i];
    for (std::int32_t i = n - 2; i >= 1; --i) points[k++] = PointPair{-quarter[i].x, quarter[i].y};
    for (std::int32_t i = 0; i < n; ++i) points[k++] = PointPair{-quarter[i].x, -quarter[i].y};
    for (std::int32_t i = n - 2; i >= 0; --i) points[k++] = PointPair{quarter[i].x, -quarter[i].y};
}

void DiscSpansFromQuarter(const PointPair* quarter, PointPair* left, PointPair* right,
                          std::int32_t n, std::int32_t& count) {
    assert(n >= 2 && quarter != nullptr && left != nullptr && right != nullptr);
    std::int32_t k = 0;
    // From the top row down to row 1: a row held by several points is taken
    // at its lowest index, where x is largest.
    for (std::int32_t i = n - 1; i >= 1; --i) {
        if (quarter[i].y != quarter[i - 1].y) right[k++] = quarter[i];
    }
    right[k++] = quarter[0];
    // The rows above the centre, mirrored below it, nearest first.
    for (std::int32_t i = k - 2; i >= 0; --i) right[k++] = PointPair{right[i].x, -right[i].y};
    for (std::int32_t i = 0; i < k; ++i) left[i] = PointPair{-right[i].x, right[i].y};
    count = k;
}

} // namespace raster
