#pragma once
// The midpoint-circle walk shared by the circles, the discs and the point
// lists. Integer arithmetic only, decision variable scaled by 4.
//
// Both walks step through the same states (a, t); they differ in their stop
// test and in how a caller reads a state:
// - walk A covers the arcs nearest the horizontal axis: column offset a, row
//   offset t, while a >= t;
// - walk B covers the arcs nearest the vertical axis: column offset t, row
//   offset a, while t < a.
// So the two never visit the same pixel. The walk keeps a * pitch and
// t * pitch by addition, which gives callers their row addresses without a
// multiplication per pixel.
#include <cassert>
#include <cstddef>
#include <cstdint>

namespace raster::walk {

struct CircleStep {
    std::int32_t a;
    std::int32_t t;
    std::ptrdiff_t aRow; // a * pitch
    std::ptrdiff_t tRow; // t * pitch
    bool aDecreases;     // the step after this visit moves a (d >= 0)
};

template <bool kWalkB, class Visit>
inline void Circle(std::int32_t r, std::ptrdiff_t pitch, Visit&& visit) {
    assert(r >= 1); // with r == 0 walk A would never stop
    std::int32_t a = r;
    std::int32_t t = 0;
    std::int32_t d = 5 - 4 * r;
    std::int32_t e = 4;
    std::ptrdiff_t aRow = r * pitch;
    std::ptrdiff_t tRow = 0;
    for (;;) {
        visit(CircleStep{a, t, aRow, tRow, d >= 0});
        ++t;
        tRow += pitch;
        if (d < 0) {
            e += 8;
            d += e;
        } else {
            --a;
            aRow -= pitch;
            e += 8;
            d += e - 8 * a;
        }
        if (kWalkB ? t >= a : a < t) break;
    }
}

} // namespace raster::walk
