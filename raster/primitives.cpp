// Fills, the grid, axis-parallel lines, the Line family and the ColumnSpan
// family. The Line and ColumnSpan paths live in line_walk.h; each public
// function here only picks the pixel operation.
#include "raster/primitives.h"

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstring>

#include "raster/line_walk.h"

namespace raster {

namespace {

std::uint8_t Low8(std::int32_t v) {
    return static_cast<std::uint8_t>(v);
}

// Writes count bytes of value from p upward in one sweep. Written byte by
// byte, GCC turns the loop into a memset call, which stores whole words (and
// wider) and measured about ten times faster than an explicit loop of 32-bit
// word stores at -O2 for a non-zero value. A count that is not a multiple of
// four still gets exactly its bytes and nothing beyond.
void FillBlock(std::uint8_t* p, std::uint32_t count, std::uint8_t value) {
    for (std::uint32_t i = 0; i < count; ++i) p[i] = value;
}

// Pixel operations for the walks in line_walk.h.
struct SetOp : walk::PlainStep {
    std::uint8_t colour;
    void operator()(std::uint8_t* p) const { *p = colour; }
};

struct XorOp : walk::PlainStep {
    std::uint8_t colour;
    void operator()(std::uint8_t* p) const { *p ^= colour; }
};

struct AddSatOp : walk::PlainStep {
    std::uint8_t value;
    void operator()(std::uint8_t* p) const {
        const unsigned sum = unsigned{*p} + value;
        *p = sum > 255 ? 255 : static_cast<std::uint8_t>(sum);
    }
};

struct SubSatOp : walk::PlainStep {
    std::uint8_t value;
    void operator()(std::uint8_t* p) const {
        *p = *p < value ? 0 : static_cast<std::uint8_t>(*p - value);
    }
};

struct IncWrapOp : walk::PlainStep {
    void operator()(std::uint8_t* p) const { *p = static_cast<std::uint8_t>(*p + 1); }
};

struct DecWrapOp : walk::PlainStep {
    void operator()(std::uint8_t* p) const { *p = static_cast<std::uint8_t>(*p - 1); }
};

struct IncSatOp : walk::PlainStep {
    void operator()(std::uint8_t* p) const {
        if (*p != 255) *p = static_cast<std::uint8_t>(*p + 1);
    }
};

struct DecSatOp : walk::PlainStep {
    void operator()(std::uint8_t* p) const {
        if (*p != 0) *p = static_cast<std::uint8_t>(*p - 1);
    }
};

// A 2 x 2 block with the path point at its bottom-left corner.
struct ThickOp : walk::PlainStep {
    std::uint8_t colour;
    std::ptrdiff_t pitch;
    void operator()(std::uint8_t* p) const {
        p[0] = colour;
        p[1] = colour;
        p[pitch] = colour;
        p[pitch + 1] = colour;
    }
};

// The dashed line: bit 0 of the pattern decides each point. A diagonal step
// covers about sqrt(2) pattern bits, so the phase word gains 0x6A0A (about
// sqrt(2) - 1 of 65536) per diagonal step and every carry out of it skips one
// extra bit; dashes then keep about the same length on slanted lines.
struct PatternOp {
    std::uint8_t colour;
    std::uint16_t pattern;
    std::uint16_t phase;
    void operator()(std::uint8_t* p) {
        if (pattern & 1u) *p = colour;
        pattern = std::rotr(pattern, 1);
    }
    // Along a row the pattern comes round every 16 pixels, so each whole
    // group of 16 is one masked store and leaves the pattern as it found it.
    void RunRight(std::uint8_t* p, std::int32_t n) {
        std::uint8_t keep[16];
        std::uint8_t put[16];
        for (int i = 0; i < 16; ++i) {
            const bool on = (pattern >> i) & 1u;
            keep[i] = on ? 0x00 : 0xFF;
            put[i] = on ? colour : 0x00;
        }
        std::int32_t k = 0;
        for (; k + 16 <= n; k += 16) {
            for (int i = 0; i < 16; ++i)
                p[k + i] = static_cast<std::uint8_t>((p[k + i] & keep[i]) | put[i]);
        }
        for (; k < n; ++k) (*this)(p + k);
    }
    void DiagonalStep() {
        const std::uint32_t sum = std::uint32_t{phase} + 0x6A0Au;
        phase = static_cast<std::uint16_t>(sum);
        if (sum > 0xFFFF) pattern = std::rotr(pattern, 1);
    }
};

} // namespace

void ClearSurface(RowTable rowTable, std::int32_t width, std::int32_t height) {
    assert(width >= 0 && height >= 0);
    FillBlock(rowTable[0], static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height),
              0);
}

void FillSurface(RowTable rowTable, std::int32_t width, std::int32_t height, std::int32_t colour) {
    assert(width >= 0 && height >= 0);
    FillBlock(rowTable[0], static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height),
              Low8(colour));
}

void DrawGrid(RowTable rowTable, std::int32_t height, std::int32_t width, std::int32_t columnLines,
              std::int32_t rowLines, std::int32_t colour) {
    assert(height >= 1 && width >= 1 && columnLines >= 2 && rowLines >= 2);
    // Positions come from repeated single-precision addition, not from
    // multiplication: the accumulated rounding decides lines such as column
    // 349 (from 349.41666) rather than 350. The step is divided in extended
    // precision and rounded to single once; p + 0.5 is formed exactly in double.
    const float rowStep = static_cast<float>(static_cast<long double>(height - 1) / (rowLines - 1));
    for (float p = 0.0f; p < static_cast<float>(height);) {
        const auto r = static_cast<std::int32_t>(static_cast<double>(p) + 0.5);
        HLine(rowTable, 0, r, width - 1, colour);
        const float next = p + rowStep;
        if (!(next > p)) break; // height 1 (step 0) or a step lost in rounding would never end
        p = next;
    }
    const float columnStep =
        static_cast<float>(static_cast<long double>(width - 1) / (columnLines - 1));
    for (float q = 0.0f; q < static_cast<float>(width);) {
        const auto c = static_cast<std::int32_t>(static_cast<double>(q) + 0.5);
        VLine(rowTable, c, 0, height - 1, colour);
        const float next = q + columnStep;
        if (!(next > q)) break;
        q = next;
    }
}

void HLine(RowTable rowTable, std::int32_t x1, std::int32_t y, std::int32_t x2,
           std::int32_t colour) {
    assert(x1 >= 0 && x2 >= 0 && y >= 0);
    const std::int32_t lo = x1 < x2 ? x1 : x2;
    const std::int32_t n = (x1 < x2 ? x2 : x1) - lo;
    std::memset(rowTable[y] + lo, Low8(colour), static_cast<std::size_t>(n) + 1);
}

void VLine(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
           std::int32_t colour) {
    assert(x >= 0 && y1 >= 0 && y2 >= 0);
    const std::int32_t lo = y1 < y2 ? y1 : y2;
    const std::int32_t n = (y1 < y2 ? y2 : y1) - lo;
    const std::uint8_t c = Low8(colour);
    std::uint8_t* p = rowTable[lo] + x;
    *p = c;
    if (n == 0) return; // a one-row raster has no pitch to read
    const std::ptrdiff_t pitch = rowTable[1] - rowTable[0];
    for (std::int32_t k = 0; k < n; ++k) {
        p += pitch;
        *p = c;
    }
}

void HLinePattern(RowTable rowTable, std::int32_t x1, std::int32_t y, std::int32_t x2,
                  std::int32_t colour, std::uint16_t& pattern) {
    assert(x1 >= 0 && x2 >= 0 && y >= 0);
    const std::int32_t lo = x1 < x2 ? x1 : x2;
    const std::int32_t n = (x1 < x2 ? x2 : x1) - lo;
    const std::uint8_t c = Low8(colour);
    std::uint16_t pat = pattern;
    std::uint8_t* p = rowTable[y] + lo;
    for (std::int32_t k = 0; k <= n; ++k) {
        const bool on = pat & 1u;
        pat = std::rotr(pat, 1);
        if (on) p[k] = c;
    }
    pattern = pat;
}

void VLinePattern(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
                  std::int32_t colour, std::uint16_t& pattern) {
    assert(x >= 0 && y1 >= 0 && y2 >= 0);
    const std::int32_t lo = y1 < y2 ? y1 : y2;
    const std::int32_t n = (y1 < y2 ? y2 : y1) - lo;
    const std::uint8_t c = Low8(colour);
    std::uint16_t pat = pattern;
    std::uint8_t* p = rowTable[lo] + x;
    const std::ptrdiff_t pitch = n > 0 ? rowTable[1] - rowTable[0] : 0;
    for (std::int32_t k = 0; k <= n; ++k) {
        const bool on = pat & 1u;
        pat = std::rotr(pat, 1);
        if (on) *p = c;
        p += pitch;
    }
    pattern = pat;
}

void Line(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
          std::int32_t colour) {
    SetOp op{{}, Low8(colour)};
    walk::Line(rowTable, x1, y1, x2, y2, op);
}

void LinePattern(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                 std::int32_t y2, std::int32_t colour, std::uint16_t& pattern,
                 std::uint16_t& phase) {
    PatternOp op{Low8(colour), pattern, phase};
    walk::Line(rowTable, x1, y1, x2, y2, op);
    pattern = op.pattern;
    phase = op.phase;
}

void LineXor(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
             std::int32_t colour) {
    XorOp op{{}, Low8(colour)};
    walk::Line(rowTable, x1, y1, x2, y2, op);
}

void LineAddSat(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                std::int32_t y2, std::int32_t value) {
    AddSatOp op{{}, Low8(value)};
    walk::Line(rowTable, x1, y1, x2, y2, op);
}

void LineSubSat(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                std::int32_t y2, std::int32_t value) {
    SubSatOp op{{}, Low8(value)};
    walk::Line(rowTable, x1, y1, x2, y2, op);
}

void LineInc(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
             std::int32_t y2) {
    IncWrapOp op;
    walk::Line(rowTable, x1, y1, x2, y2, op);
}

void LineDec(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
             std::int32_t y2) {
    DecWrapOp op;
    walk::Line(rowTable, x1, y1, x2, y2, op);
}

void LineThick(RowTable rowTable, std::int32_t x1, std::int32_t y1, std::int32_t x2,
               std::int32_t y2, std::int32_t colour) {
    // The pitch is only read when there is a point to draw: each block needs
    // row y + 1, so the raster then has at least two rows.
    if (x1 == x2 && y1 == y2) return;
    ThickOp op{{}, Low8(colour), rowTable[1] - rowTable[0]};
    walk::Line(rowTable, x1, y1, x2, y2, op);
}

void ColumnSpan(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
                std::int32_t colour) {
    SetOp op{{}, Low8(colour)};
    walk::ColumnSpan(rowTable, x, y1, y2, op);
}

void ColumnSpanXor(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
                   std::int32_t colour) {
    XorOp op{{}, Low8(colour)};
    walk::ColumnSpan(rowTable, x, y1, y2, op);
}

void ColumnSpanAddSat(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2,
                      std::int32_t value) {
    AddSatOp op{{}, Low8(value)};
    walk::ColumnSpan(rowTable, x, y1, y2, op);
}

void ColumnSpanInc(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2) {
    IncSatOp op;
    walk::ColumnSpan(rowTable, x, y1, y2, op);
}

void ColumnSpanDec(RowTable rowTable, std::int32_t x, std::int32_t y1, std::int32_t y2) {
    DecSatOp op;
    walk::ColumnSpan(rowTable, x, y1, y2, op);
}

} // namespace raster
