#include "platform/gdi.h"

#include <algorithm>
#include <cstring>

namespace platform {

PaletteHandle CreatePalette(const LogPalette& record) {
    auto palette = std::make_unique<Palette>();
    const int count = std::min<int>(record.palNumEntries, 256);
    for (int i = 0; i < count; ++i) {
        const PaletteEntry& e = record.palPalEntry[i];
        palette->colours[static_cast<std::size_t>(i)] =
            (Colour{e.peRed} << 16) | (Colour{e.peGreen} << 8) | Colour{e.peBlue};
    }
    return palette;
}

Font MakeFont(const char* face, int height, std::uint8_t charSet, Colour colour) {
    Font font;
    font.record.lfHeight = -height;
    font.record.lfWeight = FW_NORMAL;
    font.record.lfCharSet = charSet;
    font.record.lfOutPrecision = OUT_DEFAULT_PRECIS;
    if (face != nullptr) {
        const std::size_t n = std::min(std::strlen(face), sizeof(font.record.lfFaceName) - 1);
        std::memcpy(font.record.lfFaceName, face, n);
        font.record.lfFaceName[n] = '\0';
    }
    font.colour = colour;
    return font;
}

int GetObjectA(const Font& font, int size, void* out) {
    if (out == nullptr || size <= 0) return 0;
    const int n = std::min<int>(size, static_cast<int>(sizeof(LogFont)));
    std::memcpy(out, &font.record, static_cast<std::size_t>(n));
    return n;
}

Font CreateFontIndirectA(const LogFont& record) {
    Font font;
    font.record = record;
    // The face name is a fixed field; a record without a terminator must not
    // run past it when the name is read.
    font.record.lfFaceName[sizeof(font.record.lfFaceName) - 1] = '\0';
    return font;
}

} // namespace platform
