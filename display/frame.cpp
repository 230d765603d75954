#include "display/frame.h"

#include "raster/primitives.h"

#include <cassert>
#include <cstdint>
#include <initializer_list>

namespace display {
namespace {

struct PlotColour {
    int index;
    std::uint8_t red, green, blue;
};

constexpr PlotColour kPlotColours[] = {
    {kBlack, 0, 0, 0},        {kFineGrid, 0, 128, 0},       {kLevelLine, 128, 128, 128},
    {kCoarseGrid, 0, 255, 0}, {kLimitLine, 0, 255, 255},    {kWindowMarker, 255, 0, 0},
    {kTrace, 255, 255, 0},    {kSampleRing, 255, 255, 255},
};

} // namespace

void SetPlotColours(std::uint8_t* colourTable) {
    for (const PlotColour& c : kPlotColours) {
        std::uint8_t* entry = colourTable + 4 * c.index;
        entry[0] = c.red;
        entry[1] = c.green;
        entry[2] = c.blue;
        entry[3] = 0;
    }
}

void DrawFrame(const raster::Surface& plot) {
    assert(plot.width == kPlotWidth && plot.height == kPlotHeight && plot.pitch == kPlotWidth);
    const raster::RowTable rt = plot.rows;
    raster::ClearSurface(rt, kPlotWidth, kPlotHeight);
    raster::DrawGrid(rt, kPlotHeight, kPlotWidth, 13, 3, kFineGrid);
    raster::DrawGrid(rt, kPlotHeight, kPlotWidth, 3, 3, kCoarseGrid);
    raster::Line(rt, 0, 380, 599, 380, kLimitLine);

    // Every dashed line starts its pattern afresh at column 0, so the dashes
    // of all lines stand in the same columns.
    std::uint16_t pattern = 0;
    std::uint16_t phase = 0;
    for (std::int32_t row : {320, 260, 140, 80}) {
        pattern = 0x183C; // dash, gap, dot, gap
        phase = 0;
        raster::LinePattern(rt, 0, row, 599, row, kLevelLine, pattern, phase);
    }
    for (std::int32_t row : {350, 290, 230, 170, 110, 50}) {
        pattern = 0x003C; // dash, long gap
        phase = 0;
        raster::LinePattern(rt, 0, row, 599, row, kLevelLine, pattern, phase);
    }

    raster::Line(rt, 0, 20, 599, 20, kLimitLine);
    raster::Line(rt, 100, 20, 100, 379, kWindowMarker);
    raster::Line(rt, 499, 20, 499, 379, kWindowMarker);
}

std::int32_t ValueToRow(float v) {
    // The product and the sum in extended precision, then truncation toward
    // zero (a cast does exactly that, for negative sums too).
    const long double row = static_cast<long double>(30.0f) * static_cast<long double>(v) +
                            static_cast<long double>(200.0f);
    return static_cast<std::int32_t>(row);
}

} // namespace display
