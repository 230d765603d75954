#pragma once
// The window system's logical palette and logical font records, byte for byte.
// Callers fill them and hand them to CreatePalette / CreateFontIndirectA.
#include <cstdint>

namespace platform {

struct PaletteEntry {
    std::uint8_t peRed;
    std::uint8_t peGreen;
    std::uint8_t peBlue;
    std::uint8_t peFlags;
};

struct LogPalette {
    std::uint16_t palVersion;    // 0x300
    std::uint16_t palNumEntries; // 256
    PaletteEntry palPalEntry[256];
};
static_assert(sizeof(LogPalette) == 1028);

inline constexpr std::uint8_t ANSI_CHARSET = 0;
inline constexpr std::uint8_t DEFAULT_CHARSET = 1;
inline constexpr std::uint8_t OUT_DEFAULT_PRECIS = 0;
inline constexpr std::uint8_t OUT_TT_ONLY_PRECIS = 7;
inline constexpr std::int32_t FW_NORMAL = 400;

struct LogFont {
    std::int32_t lfHeight; // negative: character (em) height in pixels
    std::int32_t lfWidth;
    std::int32_t lfEscapement;  // tenths of a degree, counter-clockwise
    std::int32_t lfOrientation; // tenths of a degree
    std::int32_t lfWeight;
    std::uint8_t lfItalic;
    std::uint8_t lfUnderline;
    std::uint8_t lfStrikeOut;
    std::uint8_t lfCharSet;
    std::uint8_t lfOutPrecision;
    std::uint8_t lfClipPrecision;
    std::uint8_t lfQuality;
    std::uint8_t lfPitchAndFamily;
    char lfFaceName[32];
};
static_assert(sizeof(LogFont) == 60);

} // namespace platform
