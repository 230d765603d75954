#pragma once
// Pictures the command-line programs write as PNG without a display: an
// 8-bit raster through a palette with text and lines around it, and charts
// of data series on linear or logarithmic axes. Plain structures in, PNG
// bytes out; the toolkit stays inside.
#include "platform/gdi.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// The toolkit for drawing with no display: the off-screen platform unless
// QT_QPA_PLATFORM names another, and a private runtime folder when there is
// none. Create one before the first picture; it lives until the end of main.
class OffscreenToolkit {
  public:
    OffscreenToolkit();
    ~OffscreenToolkit();
    OffscreenToolkit(const OffscreenToolkit&) = delete;
    OffscreenToolkit& operator=(const OffscreenToolkit&) = delete;

  private:
    struct Impl;
    Impl* impl_;
};

enum class TextAnchor { Left, Centre, Right };

// One line of text, vertically centred on y; x is its left end, its middle
// or its right end.
struct PictureText {
    int x = 0;
    int y = 0;
    std::string text; // UTF-8
    TextAnchor anchor = TextAnchor::Left;
    bool bold = false;
};

struct PictureLine {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0; // both ends included
    Colour colour = 0x000000;
};

// Positions count from the picture's top-left pixel.
struct IndexedPicture {
    int width = 0;
    int height = 0;
    Colour background = 0xFFFFFF;
    Colour ink = 0x000000; // text
    int textPixels = 12;   // text height
    // The raster, its top-left pixel at (rasterX, rasterY); indices hold its
    // rows bottom row first, rasterWidth bytes each.
    int rasterX = 0;
    int rasterY = 0;
    int rasterWidth = 0;
    int rasterHeight = 0;
    std::vector<std::uint8_t> indices;
    std::array<Colour, 256> palette{};
    // Drawn over the raster, lines first.
    std::vector<PictureLine> lines;
    std::vector<PictureText> texts;
};

// Encodes the picture as PNG onto `out`; false when encoding or writing
// fails (a write error stays in the stream for OutputFile::Finish).
bool WritePng(const IndexedPicture& picture, std::FILE* out);
// Several pictures side by side in one, each at its own size, their tops
// aligned.
bool WritePng(const std::vector<IndexedPicture>& pictures, std::FILE* out);

// A chart: series of points against x, y linear or logarithmic, a second x
// axis along the top (the same range, its own ticks and title), a legend.
struct ChartSeries {
    std::string name;
    // A line, markers alone, or a line through markers.
    enum class Kind { Line, Points, LinePoints } kind = Kind::Line;
    Colour colour = 0x000000;
    bool dashed = false; // lines only
    bool dotted = false; // lines only, instead of dashed
    std::vector<double> x, y;
    // When given, one per point: a vertical bar from low to high through it
    // (an interval), in the series' colour and out of the legend.
    std::vector<double> low, high;
    bool inLegend = true; // false: drawn, and left out of the legend
};

struct ChartAxis {
    std::string title;
    double min = 0;
    double max = 1;
    bool logarithmic = false;
    int ticks = 5; // linear axes: labelled values from min to max
    std::string format = "%g";
};

// An axis whose labels sit at chosen places of the bottom axis.
struct ChartTopAxis {
    std::string title;
    std::vector<double> at;          // bottom-axis values
    std::vector<std::string> labels; // one per value
};

struct Chart {
    int width = 800;
    int height = 500;
    std::string title;
    std::string subtitle; // a smaller line under the title, may be empty
    ChartAxis x;
    ChartAxis y;
    ChartTopAxis top;
    std::vector<ChartSeries> series;
    bool legendRight = false; // a column at the right rather than a row below
};

// Renders the chart off-screen and encodes it as PNG onto `out`; false when
// encoding or writing fails.
bool WritePng(const Chart& chart, std::FILE* out);
// Several charts side by side in one picture, each at its own size.
bool WritePng(const std::vector<Chart>& charts, std::FILE* out);

} // namespace platform
