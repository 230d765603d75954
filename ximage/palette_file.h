#pragma once
// Reading a palette file: 1024 raw bytes, 256 entries of red, green, blue,
// reserved. Kept apart from the control so that it runs without a window.
#include <cstddef>
#include <cstdint>

namespace raster {

inline constexpr std::size_t kPaletteFileBytes = 1024;

// Reads at most 1024 bytes of the file at path into table[0], table[1], ...
// in file order, every byte value taken as it is. Reading stops at the end
// of the file, at the first failed read, or when nothing is available at
// once (a pipe with no writer or no data never blocks); the bytes read until
// then are stored and the rest of the table keeps its contents. A file that
// cannot be opened, or a directory, changes nothing. Returns the number of
// bytes stored.
std::size_t ReadPaletteFile(const char* path, std::uint8_t (&table)[kPaletteFileBytes]);

} // namespace raster
