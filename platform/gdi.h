#pragma once
// Palette and font services: a palette made from a logical palette record, a
// font described by a logical font record, and the three window-system calls
// that move between them.
#include "platform/records.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

using Colour = std::uint32_t; // 0xRRGGBB

// A realised 256-colour palette. Bitmaps own theirs.
struct Palette {
    std::array<Colour, 256> colours{};
};
using PaletteHandle = std::unique_ptr<Palette>;

// Makes a palette from a record. Entries past palNumEntries (at most 256) are black.
PaletteHandle CreatePalette(const LogPalette& record);

// A font: its logical record plus the colour text is drawn in.
struct Font {
    LogFont record{};
    Colour colour = 0x000000;
};

// Font of the given face; height > 0 is the character (em) height in pixels
// (stored as a negative lfHeight, as the window system does).
Font MakeFont(const char* face, int height, std::uint8_t charSet, Colour colour);

// Copies the font's logical record into out (at most size bytes); returns the
// number of bytes copied, 0 when out is null or size is not positive.
int GetObjectA(const Font& font, int size, void* out);

// A new font from a logical record (colour black; callers keep their colour).
Font CreateFontIndirectA(const LogFont& record);

} // namespace platform
