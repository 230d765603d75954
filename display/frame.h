#pragma once
// What the plot shows before any run: its colours, its value scale and the
// empty frame. Works on the raster it is given; nothing here knows the window.
#include "raster/surface.h"

#include <cstdint>

namespace display {

// Palette indices the plot draws with.
inline constexpr std::int32_t kBlack = 0;
inline constexpr std::int32_t kFineGrid = 2;
inline constexpr std::int32_t kLevelLine = 8;
inline constexpr std::int32_t kCoarseGrid = 10;
inline constexpr std::int32_t kLimitLine = 11;
inline constexpr std::int32_t kWindowMarker = 12;
inline constexpr std::int32_t kTrace = 14;
inline constexpr std::int32_t kSampleRing = 15;

inline constexpr std::int32_t kPlotWidth = 600;
inline constexpr std::int32_t kPlotHeight = 400;

// Writes the eight plot colours into a colour table of 256 entries of red,
// green, blue and a reserved byte; the other entries are left alone.
void SetPlotColours(std::uint8_t* colourTable);

// The empty frame into a 600 x 400 plot raster; nothing on screen changes.
void DrawFrame(const raster::Surface& plot);

// Raster row of a waveform value: 30 rows per unit, 0 at row 200, truncated
// toward zero. Not limited to the raster.
std::int32_t ValueToRow(float v);

} // namespace display
