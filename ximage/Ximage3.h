#pragma once
// TXImage3: the image control with 8-bit palettized bitmaps, their palette
// records and bottom-up row tables, one master colour table, a palette-file
// loader and a font-rotation helper. Drawing goes straight into the bitmaps
// through the row tables; a bitmap is seen once it is copied onto the
// control's picture (ShowBitmap).
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/records.h"
#include "platform/widgets.h"
#include "raster/row_table.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace raster {

// The row addresses of one bitmap, entry 0 the bottom line. Count() is the
// number of valid entries; the table converts to the RowTable that the
// drawing primitives take.
class RowAddresses {
  public:
    RowAddresses(int capacity, int count);
    operator raster::RowTable() const { return rows_.get(); }
    raster::RowTable Table() const { return rows_.get(); }
    int Count() const { return count_; }
    std::uint8_t*& operator[](int row) { return rows_[static_cast<std::size_t>(row)]; }

  private:
    std::unique_ptr<std::uint8_t*[]> rows_;
    int count_;
};

class TXImage3 : public platform::ImageControl {
  public:
    // As the window's layout makes it: three bitmaps.
    explicit TXImage3(platform::Form& owner);
    TXImage3(platform::Form& owner, std::int32_t count);
    ~TXImage3() override;

    // Width rounded up to a multiple of 8, height to an even number, the
    // width set first; then a fresh row table, entry i = row i from the bottom.
    void ResizeBmp(int index, int width, int height);
    // ColorTable's red, green and blue become the palette of bitmap index.
    // The bitmap's store is re-created, so ResizeBmp must follow before it
    // is drawn into again.
    void AssignPalette(int index);
    // Asks for a palette file and reads it into ColorTable. Reports nothing.
    void LoadPalette();
    // Turns the canvas's font by angle tenths of a degree, counter-clockwise.
    static void SetFontAngle(platform::Canvas& canvas, int angle);

    // The row table of bitmap index, valid from its last ResizeBmp until the
    // next size or palette change of that bitmap.
    raster::RowTable RowTable(int index) const;
    // Copies bitmap index onto the control's picture at (0, 0), every pixel
    // through the bitmap's palette.
    void ShowBitmap(int index);

    std::int32_t BitmapCount = 0;
    std::string PaletteFileName;
    std::vector<std::unique_ptr<platform::Bitmap8>> Bitmaps;
    std::vector<std::unique_ptr<platform::LogPalette>> Palettes;
    std::vector<RowAddresses> RowTables;
    // 256 entries of red, green, blue, reserved; black until written.
    std::uint8_t ColorTable[1024] = {};
};

// Enters TXImage3 in the component registry on the page "Samples".
void Register();

} // namespace raster

using raster::TXImage3;
