#pragma once
// A drawing surface: the window's own (retained, repainted from) or an image
// control's picture. Text is drawn without anti-aliasing, so drawing the same
// glyph twice leaves exactly the pixels of drawing it once.
#include "platform/bitmap.h"
#include "platform/gdi.h"

#include <cstdio>
#include <memory>
#include <string_view>

namespace platform {

enum class BrushStyle { Solid, Clear };

Colour ButtonFaceColour();
Colour WindowTextColour();

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<Colour> pixels; // top row first, 0xRRGGBB
    Colour At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Writes the image as a PNG; false when the file cannot be written.
bool SavePng(const RgbImage& image, const std::string& path);
// The same PNG bytes onto an open stream (standard output among them); false
// when encoding or writing fails.
bool WritePng(const RgbImage& image, std::FILE* out);

class Canvas {
  public:
    struct Impl;
    explicit Canvas(std::unique_ptr<Impl> impl);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    const Font& GetFont() const;
    void SetFont(const Font& font);
    Colour BrushColour() const;
    void SetBrushColour(Colour colour);
    BrushStyle GetBrushStyle() const;
    void SetBrushStyle(BrushStyle style);

    // Text in Windows-1252 code units, top-left corner of the first cell at
    // (x, y). A solid brush fills each cell's background first; a clear brush
    // sets only the glyph pixels.
    void TextOut(int x, int y, std::string_view cp1252);

    // Copies a bitmap with its top-left corner at (x, y), every index mapped
    // through the bitmap's own palette.
    void Draw(int x, int y, const Bitmap8& bitmap);

    // What the surface holds now.
    RgbImage Snapshot() const;

    Impl& impl() { return *impl_; }

  private:
    std::unique_ptr<Impl> impl_;
};

} // namespace platform
