#include "platform/bitmap.h"

#include <algorithm>

namespace platform {

namespace {

PaletteHandle BlackPalette() {
    return std::make_unique<Palette>();
}

} // namespace

Bitmap8::Bitmap8() : palette_(BlackPalette()) {}

void Bitmap8::SetWidth(int width) {
    width_ = std::max(width, 0);
    Reallocate();
}

void Bitmap8::SetHeight(int height) {
    height_ = std::max(height, 0);
    Reallocate();
}

std::uint8_t* Bitmap8::ScanLine(int rowFromTop) {
    return store_.data() + static_cast<std::size_t>(height_ - 1 - rowFromTop) * pitch_;
}

const std::uint8_t* Bitmap8::ScanLine(int rowFromTop) const {
    return store_.data() + static_cast<std::size_t>(height_ - 1 - rowFromTop) * pitch_;
}

void Bitmap8::SetPalette(PaletteHandle palette) {
    palette_ = palette ? std::move(palette) : BlackPalette();
    // A new colour table means a new pixel store. The copy is made while the
    // old block is still alive, so it never lands at the same address: row
    // addresses taken before this call are stale, as callers are told.
    std::vector<std::uint8_t> fresh(store_);
    store_.swap(fresh);
}

void Bitmap8::Reallocate() {
    pitch_ = (width_ + 3) & ~3;
    store_ = std::vector<std::uint8_t>(static_cast<std::size_t>(pitch_) * height_, 0);
}

} // namespace platform
