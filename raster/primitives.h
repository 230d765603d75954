#pragma once
// Raster primitives: free functions that write palette indices straight into
// an 8-bit raster reached through its row table.
//
// Contract, shared by every function here (checked with assert() at entry in
// debug and sanitizer builds, never per pixel):
// - Pixel (x, y) is the byte at rowTable[y] + x. x counts columns from the
//   left, y counts rows from the bottom, both start at 0 and are never
//   negative.
// - Rows are evenly spaced: functions that walk a column add the pitch
//   rowTable[1] - rowTable[0] to step between rows. The whole-raster fills
//   treat width * height bytes from rowTable[0] upward as one block.
// - Nothing is clipped. The caller keeps every touched pixel inside the
//   raster, including column x + 1 of the column spans, row y + 1 and column
//   x + 1 of each LineThick point, the box of a marker and the box
//   xc - r .. xc + r, yc - r .. yc + r of a circle.
// - Only the low 8 bits of a colour or value argument are used.
// - Line and its variants include the start point and exclude the end point,
//   and need a major distance of at most 65535. HLine, VLine and the
//   patterned axis lines include both ends.
// - Circles need r >= 1.
// - No state is kept, nothing is allocated, nothing is returned.
#include <cstdint>

#include "raster/row_table.h"

namespace raster {

// A point relative to a circle's centre, x to the right and y upward.
struct PointPair {
    std::int32_t x;
    std::int32_t y;
};

// Whole raster and grid.
void ClearSurface(RowTable rowTable, std::int32_t width, std::int32_t height);
void FillSurface(RowTable rowTable, std::int32_t width, std::int32_t height, std::int32_t colour);
// rowLines horizontal lines, then columnLines vertical lines; both counts >= 2.
// Height comes before width here, unlike the fills: this is the published
// order of the grid call, which callers outside this code may already use,
// and two swapped int32 arguments would still compile.
void DrawGrid(RowTable rowTable, std::int32_t height, std::int32_t width, std::int32_t columnLines,
              std::int32_t rowLines, std::int32_t colour);

// Axis-parallel lines, both ends included, in either order.
void HLine(RowTable rowTable, std::int32_t x1, std::int32_t y, std::int32_t x2,
           std::int32_t colour);
void VLine(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
           std::int32_t colour);
// Pixel k from the smaller end is set when bit (k mod 16) of the pattern is 1;
// the pattern comes back rotated right once per pixel.
void HLinePattern(RowTable rowTable, std::int32_t x1, std::int32_t y, std::int32_t x2,
                  std::int32_t colour, std::uint16_t& pattern);
void VLinePattern(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
                  std::int32_t colour, std::uint16_t& pattern);

// Lines from (x1, y1) toward (x2, y2), end point excluded.
void Line(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
          std::int32_t colour);
// Dashed line: sets the points whose pattern bit 0 is 1, rotating the pattern
// once per point and once more whenever the phase word carries on a diagonal
// step. Both words are written back, also when nothing is drawn.
void LinePattern(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                 std::int32_t y2, std::int32_t colour, std::uint16_t& pattern,
                 std::uint16_t& phase);
void LineXor(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
             std::int32_t colour);
void LineAddSat(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                std::int32_t y2, std::int32_t value);
void LineSubSat(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                std::int32_t y2, std::int32_t value);
// LineInc and LineDec wrap modulo 256.
void LineInc(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
void LineDec(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
// Each point of the path drawn as the 2 x 2 block (x..x+1, y..y+1).
void LineThick(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
               std::int32_t y2, std::int32_t colour);

// One step of a trace: |y2 - y1| pixels from y1 toward y2 (row y2 excluded),
// the first |y2 - y1| / 2 + 1 in column x, the rest in column x + 1; the
// single pixel (x, y1) when y1 == y2.
void ColumnSpan(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
                std::int32_t colour);
void ColumnSpanXor(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
                   std::int32_t colour);
void ColumnSpanAddSat(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
                      std::int32_t value);
// Unlike LineInc and LineDec these saturate at 255 and 0.
void ColumnSpanInc(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2);
void ColumnSpanDec(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2);

// Midpoint circles of radius r >= 1 around (xc, yc).
void Circle(RowTable rowTable, std::int32_t xc, std::int32_t yc, std::int32_t r,
            std::int32_t colour);
// Changes every outline pixel by exactly one XOR, so drawing it twice restores.
void CircleXor(RowTable rowTable, std::int32_t xc, std::int32_t yc, std::int32_t r,
               std::int32_t colour);
void Disc(RowTable rowTable, std::int32_t xc, std::int32_t yc, std::int32_t r, std::int32_t colour);
// The Circle outline in outlineColour, the rest of the Disc area in fillColour.
void DiscOutlined(RowTable rowTable, std::int32_t xc, std::int32_t yc, std::int32_t r,
                  std::int32_t outlineColour, std::int32_t fillColour);

// Markers around (x, y). The ring markers leave their interior alone; the
// filled markers set it in fillColour. Sizes 3, 5, 7 are the circles of
// radius 1, 2, 3; size 4 is centred between (x, y) and (x + 1, y + 1); size 9
// is a shape of its own.
void SampleMarker(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour);
void RingMarker3(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour);
void RingMarker4(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour);
void RingMarker7(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour);
void RingMarker9(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t colour);
void FilledMarker3(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t outlineColour,
                   std::int32_t fillColour);
void FilledMarker4(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t outlineColour,
                   std::int32_t fillColour);
void FilledMarker5(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t outlineColour,
                   std::int32_t fillColour);
void FilledMarker7(RowTable rowTable, std::int32_t x, std::int32_t y, std::int32_t outlineColour,
                   std::int32_t fillColour);

// Circle point lists. points needs room for 2r + 1 entries; the quarter runs
// from (r, 0) to (0, r) without repeats.
void CircleQuarterPoints(std::int32_t r, PointPair* points, std::int32_t& count);
// 4n - 3 points once around the circle, ending where they start; n >= 2.
void CirclePointsFromQuarter(const PointPair* quarter, PointPair* points, std::int32_t n);
// One entry per row, top row first: right[i] = (x, y), left[i] = (-x, y), x
// the largest x on that row. Both arrays need room for 2r + 1 entries.
void DiscSpansFromQuarter(const PointPair* quarter, PointPair* left, PointPair* right,
                          std::int32_t n, std::int32_t& count);

} // namespace raster
