#pragma once
// A row table holds one address per pixel row of an 8-bit raster. Entry 0 is
// the bottom line of the picture, so y grows upward. The rows form one
// contiguous block in ascending order: entry y == entry 0 + y * pitch, and the
// pitch (entry 1 - entry 0) equals the width in bytes.
#include <cstdint>

namespace raster {

using RowTable = std::uint8_t* const*;

} // namespace raster
