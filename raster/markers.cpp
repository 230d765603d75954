// Fixed-size markers. Each shape is written row by row from the centre
// address, stepping between rows by the pitch; neighbouring pixels of one
// colour are plain byte stores that the compiler merges.
#include <cassert>
#include <cstddef>
#include <initializer_list>

#include "raster/primitives.h"

namespace raster {

namespace {

std::uint8_t Low8(std::int32_t v) {
    return static_cast<std::uint8_t>(v);
}

// Rows of a marker box around its centre row: up[i] and down[i] are i + 1
// rows above and below.
struct MarkerRows {
    std::uint8_t* centre;
    std::uint8_t* up[4];
    std::uint8_t* down[4];
};

// Only the rows of the box are formed, so no address points outside the raster.
MarkerRows Rows(RowTable rt, std::int32_t x, std::int32_t y, std::int32_t above,
                std::int32_t below) {
    assert(x >= 0 && y >= below && above >= 1 && above <= 4 && below >= 1 && below <= 4);
    MarkerRows m{};
    m.centre = rt[y] + x;
    const std::ptrdiff_t pitch = rt[1] - rt[0];
    std::uint8_t* row = m.centre;
    for (std::int32_t i = 0; i < above; ++i) m.up[i] = row += pitch;
    row = m.centre;
    for (std::int32_t i = 0; i < below; ++i) m.down[i] = row -= pitch;
    return m;
}

// Columns from .. to (inclusive) of one row, relative to the marker centre.
void Run(std::uint8_t* row, std::int32_t from, std::int32_t to, std::uint8_t c) {
    for (std::int32_t i = from; i <= to; ++i) row[i] = c;
}

// The same run in the rows i + 1 above and below the centre.
void RunPair(const MarkerRows& m, std::int32_t i, std::int32_t from, std::int32_t to,
             std::uint8_t c) {
    Run(m.up[i], from, to, c);
    Run(m.down[i], from, to, c);
}

void Ring3(const MarkerRows& m, std::uint8_t c) {
    m.up[0][0] = c;
    m.down[0][0] = c;
    m.centre[-1] = c;
    m.centre[1] = c;
}

// Centred between (x, y) and (x + 1, y + 1): rows +2 and -1 hold columns 0
// and +1, rows +1 and 0 hold columns -1 and +2.
void Ring4(const MarkerRows& m, std::uint8_t c) {
    Run(m.up[1], 0, 1, c);
    Run(m.down[0], 0, 1, c);
    m.up[0][-1] = c;
    m.up[0][2] = c;
    m.centre[-1] = c;
    m.centre[2] = c;
}

void Ring5(const MarkerRows& m, std::uint8_t c) {
    RunPair(m, 1, -1, 1, c);
    for (std::uint8_t* row : {m.up[0], m.centre, m.down[0]}) {
        row[-2] = c;
        row[2] = c;
    }
}

void Ring7(const MarkerRows& m, std::uint8_t c) {
    RunPair(m, 2, -1, 1, c);
    m.up[1][-2] = c;
    m.up[1][2] = c;
    m.down[1][-2] = c;
    m.down[1][2] = c;
    for (std::uint8_t* row : {m.up[0], m.centre, m.down[0]}) {
        row[-3] = c;
        row[3] = c;
    }
}

// Its own shape, not the radius-4 circle: five pixels across the top and
// bottom rows and five down each side.
void Ring9(const MarkerRows& m, std::uint8_t c) {
    RunPair(m, 3, -2, 2, c);
    m.up[2][-3] = c;
    m.up[2][3] = c;
    m.down[2][-3] = c;
    m.down[2][3] = c;
    for (std::uint8_t* row : {m.up[1], m.up[0], m.centre, m.down[0], m.down[1]}) {
        row[-4] = c;
        row[4] = c;
    }
}

} // namespace

void SampleMarker(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour) {
    Ring5(Rows(rowTable, x, y, 2, 2), Low8(colour));
}

void RingMarker3(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour) {
    Ring3(Rows(rowTable, x, y, 1, 1), Low8(colour));
}

void RingMarker4(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour) {
    Ring4(Rows(rowTable, x, y, 2, 1), Low8(colour));
}

void RingMarker7(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour) {
    Ring7(Rows(rowTable, x, y, 3, 3), Low8(colour));
}

void RingMarker9(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour) {
    Ring9(Rows(rowTable, x, y, 4, 4), Low8(colour));
}

void FilledMarker3(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t outlineColour,
                   std::int32_t fillColour) {
    const MarkerRows m = Rows(rowTable, x, y, 1, 1);
    Ring3(m, Low8(outlineColour));
    m.centre[0] = Low8(fillColour);
}

void FilledMarker4(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t outlineColour,
                   std::int32_t fillColour) {
    const MarkerRows m = Rows(rowTable, x, y, 2, 1);
    Ring4(m, Low8(outlineColour));
    Run(m.centre, 0, 1, Low8(fillColour));
    Run(m.up[0], 0, 1, Low8(fillColour));
}

void FilledMarker5(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t outlineColour,
                   std::int32_t fillColour) {
    const MarkerRows m = Rows(rowTable, x, y, 2, 2);
    Ring5(m, Low8(outlineColour));
    Run(m.centre, -1, 1, Low8(fillColour));
    RunPair(m, 0, -1, 1, Low8(fillColour));
}

void FilledMarker7(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t outlineColour,
                   std::int32_t fillColour) {
    const MarkerRows m = Rows(rowTable, x, y, 3, 3);
    Ring7(m, Low8(outlineColour));
    RunPair(m, 1, -1, 1, Low8(fillColour));
    RunPair(m, 0, -2, 2, Low8(fillColour));
    Run(m.centre, -2, 2, Low8(fillColour));
}

} // namespace raster
