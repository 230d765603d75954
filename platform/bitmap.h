#pragma once
// An off-screen 8-bit bitmap: one palette index per pixel, a 256-entry
// palette, and a pixel store that holds the bottom row first in one block.
// The row pitch is the width rounded up to 4 bytes, so it equals the width
// whenever the width is a multiple of 8.
#include "platform/gdi.h"

#include <cstdint>
#include <vector>

namespace platform {

class Bitmap8 {
  public:
    Bitmap8();

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return pitch_; }
    // Each size change re-creates the store (contents zero).
    void SetWidth(int width);
    void SetHeight(int height);

    // Address of a pixel row counted from the top of the picture, as the
    // window system hands out scan lines.
    std::uint8_t* ScanLine(int rowFromTop);
    const std::uint8_t* ScanLine(int rowFromTop) const;

    // Takes ownership of a new palette, releases the previous one, and
    // re-creates the pixel store (the pixels are copied into a fresh block,
    // so row addresses handed out before are stale).
    void SetPalette(PaletteHandle palette);
    const Palette& GetPalette() const { return *palette_; }

  private:
    void Reallocate();

    int width_ = 0;
    int height_ = 0;
    int pitch_ = 0;
    std::vector<std::uint8_t> store_; // bottom row first
    PaletteHandle palette_;
};

} // namespace platform
