#include "display/frame.h"

#include "display/form1.h"
#include "platform/widgets.h"
#include "raster/primitives.h"

#include <cstdint>

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

// One tick label: the value it names, whether positive values carry a plus
// sign, and the fraction of the plot's height above its level line. The
// fractions that are exact binary values are single-precision constants; the
// others are the doubles nearest their decimals, and those lie a hair below
// (0.95, 0.35, 0.725, 0.575, 0.425), which lifts those labels by a pixel.
struct Tick {
    long double value;
    const char* format;
    long double fraction;
};

const Tick kTicks[13] = {
    {-6.0L, "0.0", 0.95},   {-4.0L, "0.0", 0.8},   {-2.0L, "0.0", 0.65},  {0.0L, "0.0", 0.5f},
    {2.0L, "+0.0", 0.35},   {4.0L, "+0.0", 0.2},   {6.0L, "+0.0", 0.05},  {-5.0L, "0.0", 0.875f},
    {-3.0L, "0.0", 0.725},  {-1.0L, "0.0", 0.575}, {1.0L, "+0.0", 0.425}, {3.0L, "+0.0", 0.275},
    {5.0L, "+0.0", 0.125f},
};

} // namespace

void SetPlotColours() {
    std::uint8_t* table = Form1->xmg.ColorTable;
    for (const PlotColour& c : kPlotColours) {
        std::uint8_t* entry = table + 4 * c.index;
        entry[0] = c.red;
        entry[1] = c.green;
        entry[2] = c.blue;
        entry[3] = 0;
    }
}

void PlaceTickLabels() {
    TForm1& form = *Form1;
    platform::Label* const labels[13] = {
        &form.Label1,  &form.Label2,  &form.Label3,  &form.Label4, &form.Label5,
        &form.Label6,  &form.Label7,  &form.Label8,  &form.Label9, &form.Label10,
        &form.Label11, &form.Label12, &form.Label13,
    };
    const int plotLeft = form.xmg.Left();
    const int plotTop = form.xmg.Top();
    const int plotHeight = form.xmg.Height();
    for (int i = 0; i < 13; ++i) {
        platform::Label& label = *labels[i];
        label.SetCaption(platform::FormatFloat(kTicks[i].format, kTicks[i].value));
        label.SetLeft(plotLeft - label.Width() - 4);
        const int halfHeight = label.Height() / 2;
        const long double top = static_cast<long double>(plotHeight) * kTicks[i].fraction +
                                static_cast<long double>(plotTop) -
                                static_cast<long double>(halfHeight);
        label.SetTop(static_cast<int>(top));
    }
}

void DrawFrame() {
    const raster::RowTable rt = Form1->xmg.RowTable(0);
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
