#pragma once
// An 8-bit raster as the drawing code receives it: its row table and its
// size. Rows count from the bottom, as in the row table; pitch is the
// distance in bytes from one row to the next, and equals the width for every
// raster the window draws on.
#include "raster/row_table.h"

#include <cstdint>

namespace raster {

struct Surface {
    RowTable rows;
    std::int32_t width;
    std::int32_t height;
    std::int32_t pitch;
};

} // namespace raster
