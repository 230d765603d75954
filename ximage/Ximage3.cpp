#include "ximage/Ximage3.h"

#include "platform/dialogs.h"
#include "platform/gdi.h"
#include "ximage/palette_file.h"

#include <algorithm>
#include <cassert>

namespace raster {

namespace {

constexpr int kPlaceholderRows = 8;

} // namespace

RowAddresses::RowAddresses(int capacity, int count)
    : rows_(std::make_unique<std::uint8_t*[]>(static_cast<std::size_t>(std::max(capacity, 0)))),
      count_(count) {}

TXImage3::TXImage3(platform::Form& owner) : TXImage3(owner, 3) {}

TXImage3::TXImage3(platform::Form& owner, std::int32_t count) : platform::ImageControl(owner) {
    PaletteFileName.clear();
    BitmapCount = std::max<std::int32_t>(count, 0);
    const auto n = static_cast<std::size_t>(BitmapCount);
    Bitmaps.reserve(n);
    Palettes.reserve(n);
    RowTables.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        Bitmaps.push_back(std::make_unique<platform::Bitmap8>());
        // Room for a few rows, none of them valid until ResizeBmp.
        RowTables.emplace_back(kPlaceholderRows, 0);
        auto record = std::make_unique<platform::LogPalette>();
        record->palVersion = 0x300;
        record->palNumEntries = 256;
        Bitmaps.back()->SetPalette(platform::CreatePalette(*record));
        Palettes.push_back(std::move(record));
    }
}

TXImage3::~TXImage3() = default;

void TXImage3::ResizeBmp(int index, int width, int height) {
    assert(index >= 0 && index < BitmapCount);
    platform::Bitmap8& bitmap = *Bitmaps[static_cast<std::size_t>(index)];
    bitmap.SetWidth((width + 7) & ~7);
    bitmap.SetHeight((height + 1) & ~1);
    const int rows = bitmap.Height();
    RowAddresses table(rows, rows);
    for (int i = 0; i < rows; ++i) table[i] = bitmap.ScanLine(rows - 1 - i);
    RowTables[static_cast<std::size_t>(index)] = std::move(table);
}

void TXImage3::AssignPalette(int index) {
    assert(index >= 0 && index < BitmapCount);
    platform::LogPalette& record = *Palettes[static_cast<std::size_t>(index)];
    for (std::size_t i = 0; i < 256; ++i) {
        record.palPalEntry[i].peRed = ColorTable[4 * i];
        record.palPalEntry[i].peGreen = ColorTable[4 * i + 1];
        record.palPalEntry[i].peBlue = ColorTable[4 * i + 2];
        record.palPalEntry[i].peFlags = 0;
    }
    Bitmaps[static_cast<std::size_t>(index)]->SetPalette(platform::CreatePalette(record));
}

void TXImage3::LoadPalette() {
    platform::OpenDialog dialog;
    dialog.title = "Open Palette File";
    dialog.filter = "Palette files (*.pal)|*.PAL";
    dialog.fileName = PaletteFileName.empty() ? std::string("color1.pal") : PaletteFileName;
    if (!dialog.Execute(this)) return;
    PaletteFileName = dialog.fileName;
    ReadPaletteFile(PaletteFileName.c_str(), ColorTable);
}

void TXImage3::SetFontAngle(platform::Canvas& canvas, int angle) {
    platform::LogFont record{};
    platform::GetObjectA(canvas.GetFont(), sizeof record, &record);
    record.lfEscapement = angle;
    record.lfOrientation = angle;
    record.lfOutPrecision = platform::OUT_TT_ONLY_PRECIS;
    platform::Font font = platform::CreateFontIndirectA(record);
    font.colour = canvas.GetFont().colour; // the colour is the font object's, not the record's
    canvas.SetFont(font);
}

raster::RowTable TXImage3::RowTable(int index) const {
    assert(index >= 0 && index < BitmapCount);
    return RowTables[static_cast<std::size_t>(index)].Table();
}

void TXImage3::ShowBitmap(int index) {
    assert(index >= 0 && index < BitmapCount);
    GetCanvas().Draw(0, 0, *Bitmaps[static_cast<std::size_t>(index)]);
}

void Register() {
    platform::RegisterComponent("Samples", "TXImage3");
}

} // namespace raster
