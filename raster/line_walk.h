#pragma once
// The paths of Line and ColumnSpan, walked once for every pixel operation.
//
// A pixel operation is a small callable: operator()(std::uint8_t* pixel) does
// the work at one point, and DiagonalStep() is called after every step that
// moves both coordinates (only the dashed line cares; the others inherit the
// empty one from PlainStep). Everything is inlined into the public function
// that instantiates the walk, so no call per pixel remains.
//
// Each direction has its own loop, picked by template parameters: no
// direction test per pixel. Sloped lines step in 16-bit fixed point with the
// fraction starting at one half, so pixel k sits at minor offset
// floor((0x8000 + k * slope) / 0x10000) in all eight directions and a line
// and its mirror image match pixel for pixel.
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "raster/row_table.h"

namespace raster::walk {

// Base for operations that ignore diagonal steps.
struct PlainStep {
    void DiagonalStep() {}
};

template <int SY, class Op>
inline void Vertical(RowTable rt, std::int32_t x, std::int32_t y, std::int32_t n, Op& op) {
    for (std::int32_t k = 0; k < n; ++k) {
        op(rt[y] + x);
        y += SY;
    }
}

template <int SX, class Op>
inline void Horizontal(RowTable rt, std::int32_t x, std::int32_t y, std::int32_t n, Op& op) {
    std::uint8_t* p = rt[y] + x;
    // An operation may take a whole rightward run at once (the dashed line
    // does, 16 pixels per masked store); it must leave the same pixels and
    // the same state as n single steps.
    if constexpr (SX == 1 && requires { op.RunRight(p, n); }) {
        op.RunRight(p, n);
        return;
    }
    for (std::int32_t k = 0; k < n; ++k) {
        op(p);
        p += SX;
    }
}

template <int SX, int SY, class Op>
inline void Diagonal(RowTable rt, std::int32_t x, std::int32_t y, std::int32_t n, Op& op) {
    for (std::int32_t k = 0; k < n; ++k) {
        op(rt[y] + x);
        x += SX;
        y += SY;
        op.DiagonalStep();
    }
}

// |dx| > |dy|: one column per pixel, the row changes when the fraction carries.
template <int SX, int SY, class Op>
inline void XMajor(RowTable rt, std::int32_t x, std::int32_t y, std::int32_t n, std::uint32_t slope,
                   Op& op) {
    std::uint32_t f = 0x8000;
    std::uint8_t* row = rt[y];
    for (std::int32_t k = 0; k < n; ++k) {
        op(row + x);
        x += SX;
        f += slope;
        if (f > 0xFFFF) {
            f &= 0xFFFF;
            y += SY;
            row = rt[y];
            op.DiagonalStep();
        }
    }
}

// |dy| > |dx|: one row per pixel, the column changes when the fraction carries.
template <int SX, int SY, class Op>
inline void YMajor(RowTable rt, std::int32_t x, std::int32_t y, std::int32_t n, std::uint32_t slope,
                   Op& op) {
    std::uint32_t f = 0x8000;
    for (std::int32_t k = 0; k < n; ++k) {
        op(rt[y] + x);
        y += SY;
        f += slope;
        if (f > 0xFFFF) {
            f &= 0xFFFF;
            x += SX;
            op.DiagonalStep();
        }
    }
}

// The Line path from (x1, y1) toward (x2, y2): max(|dx|, |dy|) points, the
// start included and the end excluded.
template <class Op>
inline void Line(RowTable rt, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                 Op& op) {
    assert(x1 >= 0 && y1 >= 0 && x2 >= 0 && y2 >= 0);
    const std::int32_t dx = x2 - x1;
    const std::int32_t dy = y2 - y1;
    const std::int32_t ax = dx < 0 ? -dx : dx;
    const std::int32_t ay = dy < 0 ? -dy : dy;
    assert(ax <= 65535 && ay <= 65535);

    if (dx == 0) {
        if (dy > 0)
            Vertical<1>(rt, x1, y1, ay, op);
        else if (dy < 0)
            Vertical<-1>(rt, x1, y1, ay, op);
        return;
    }
    if (dy == 0) {
        if (dx > 0)
            Horizontal<1>(rt, x1, y1, ax, op);
        else
            Horizontal<-1>(rt, x1, y1, ax, op);
        return;
    }
    if (ax == ay) {
        if (dx > 0) {
            if (dy > 0)
                Diagonal<1, 1>(rt, x1, y1, ax, op);
            else
                Diagonal<1, -1>(rt, x1, y1, ax, op);
        } else {
            if (dy > 0)
                Diagonal<-1, 1>(rt, x1, y1, ax, op);
            else
                Diagonal<-1, -1>(rt, x1, y1, ax, op);
        }
        return;
    }
    if (ax > ay) {
        // One 32-by-16-bit division per line; ay < ax <= 65535 keeps it in range.
        const std::uint32_t slope =
            (static_cast<std::uint32_t>(ay) << 16) / static_cast<std::uint32_t>(ax);
        if (dx > 0) {
            if (dy > 0)
                XMajor<1, 1>(rt, x1, y1, ax, slope, op);
            else
                XMajor<1, -1>(rt, x1, y1, ax, slope, op);
        } else {
            if (dy > 0)
                XMajor<-1, 1>(rt, x1, y1, ax, slope, op);
            else
                XMajor<-1, -1>(rt, x1, y1, ax, slope, op);
        }
        return;
    }
    const std::uint32_t slope =
        (static_cast<std::uint32_t>(ax) << 16) / static_cast<std::uint32_t>(ay);
    if (dx > 0) {
        if (dy > 0)
            YMajor<1, 1>(rt, x1, y1, ay, slope, op);
        else
            YMajor<1, -1>(rt, x1, y1, ay, slope, op);
    } else {
        if (dy > 0)
            YMajor<-1, 1>(rt, x1, y1, ay, slope, op);
        else
            YMajor<-1, -1>(rt, x1, y1, ay, slope, op);
    }
}

// The ColumnSpan path: n = |y2 - y1| rows from y1 toward y2 (row y2 excluded),
// the first n / 2 + 1 in column x and the rest in column x + 1; only (x, y1)
// when n == 0. Rows are reached by adding the pitch.
template <class Op>
inline void ColumnSpan(RowTable rt, std::int32_t x, std::int32_t y1, std::int32_t y2, Op& op) {
    assert(x >= 0 && y1 >= 0 && y2 >= 0);
    std::uint8_t* p = rt[y1] + x;
    if (y1 == y2) {
        op(p);
        return;
    }
    const std::ptrdiff_t pitch = rt[1] - rt[0];
    const std::ptrdiff_t step = y2 > y1 ? pitch : -pitch;
    const std::int32_t n = y2 > y1 ? y2 - y1 : y1 - y2;
    const std::int32_t h = n / 2 + 1;
    std::int32_t k = 0;
    for (; k < h; ++k) { // h <= n for every n >= 1
        op(p);
        p += step;
    }
    p += 1;
    for (; k < n; ++k) {
        op(p);
        p += step;
    }
}

} // namespace raster::walk
