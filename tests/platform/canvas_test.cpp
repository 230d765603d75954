// Text and bitmaps on a window's drawing surface.
#include "app_fixture.h"
#include "platform/canvas.h"
#include "platform/widgets.h"

#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QWidget>
#include <set>

namespace {

using namespace platform;
using platform_test::GuiTest;

constexpr Colour kInk = 0x000080;
constexpr Colour kBrush = 0xFF0000;

FormLayout Layout() {
    FormLayout l;
    l.caption = "canvas";
    l.clientWidth = 200;
    l.clientHeight = 100;
    l.font = MakeFont("Courier New", 12, ANSI_CHARSET, kInk);
    return l;
}

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1; // inclusive
    int count = 0;
    void Add(int x, int y) {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
        ++count;
    }
};

Box PixelsOf(const RgbImage& image, Colour c) {
    Box b;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.At(x, y) == c) b.Add(x, y);
    return b;
}

class CanvasTest : public GuiTest {};

TEST_F(CanvasTest, StripFontIsAFixedPitchTwelvePixelFace) {
    Form form(Layout());
    const QFontInfo info(form.Native()->font());
    EXPECT_TRUE(info.fixedPitch()) << info.family().toStdString();
    EXPECT_EQ(info.pixelSize(), 12);
    const QFontMetrics m(form.Native()->font());
    EXPECT_EQ(m.horizontalAdvance(QStringLiteral("0")), m.horizontalAdvance(QChar(0xAF)));
}

TEST_F(CanvasTest, OpaqueTextFillsEveryCellAndClearTextOnlyTheGlyphs) {
    Form form(Layout());
    Canvas& canvas = form.GetCanvas();
    const Colour face = ButtonFaceColour();
    const QFontMetrics m(form.Native()->font());
    const int cell = m.horizontalAdvance(QStringLiteral("0"));

    canvas.SetBrushColour(kBrush);
    canvas.SetBrushStyle(BrushStyle::Solid);
    canvas.TextOut(10, 20, "0101");
    const RgbImage opaque = canvas.Snapshot();
    // Background cells plus glyphs cover exactly the four cells.
    Box all = PixelsOf(opaque, kBrush);
    const Box ink = PixelsOf(opaque, kInk);
    EXPECT_GT(ink.count, 0);
    EXPECT_EQ(all.left, 10);
    EXPECT_EQ(all.top, 20);
    EXPECT_EQ(all.right, 10 + 4 * cell - 1);
    EXPECT_EQ(all.bottom, 20 + m.height() - 1);
    EXPECT_EQ(all.count + ink.count, 4 * cell * m.height());
    // No third colour: the text is not smoothed.
    std::set<Colour> colours(opaque.pixels.begin(), opaque.pixels.end());
    EXPECT_EQ(colours, (std::set<Colour>{face, kBrush, kInk}));

    Form other(Layout());
    Canvas& clear = other.GetCanvas();
    clear.SetBrushColour(kBrush);
    clear.SetBrushStyle(BrushStyle::Clear);
    clear.TextOut(10, 20, "0101");
    const RgbImage glyphs = clear.Snapshot();
    EXPECT_EQ(PixelsOf(glyphs, kBrush).count, 0);
    const Box clearInk = PixelsOf(glyphs, kInk);
    EXPECT_EQ(clearInk.count, ink.count);
    EXPECT_EQ(clearInk.left, ink.left);
    EXPECT_EQ(clearInk.top, ink.top);
}

TEST_F(CanvasTest, DrawingAGlyphTwiceLeavesThePixelsOfOnce) {
    Form form(Layout());
    Canvas& canvas = form.GetCanvas();
    canvas.SetBrushColour(ButtonFaceColour());
    canvas.SetBrushStyle(BrushStyle::Solid);
    canvas.TextOut(5, 5, "0123456789");
    const RgbImage once = canvas.Snapshot();
    canvas.SetBrushStyle(BrushStyle::Clear);
    canvas.TextOut(5, 5, "0123456789");
    EXPECT_EQ(canvas.Snapshot().pixels, once.pixels);
}

TEST_F(CanvasTest, MacronOfCode175SitsAboveTheDigitInTheSameCell) {
    Form bar(Layout());
    bar.GetCanvas().SetBrushStyle(BrushStyle::Clear);
    bar.GetCanvas().TextOut(10, 10, "\xAF");
    const Box macron = PixelsOf(bar.GetCanvas().Snapshot(), kInk);

    Form digit(Layout());
    digit.GetCanvas().SetBrushStyle(BrushStyle::Clear);
    digit.GetCanvas().TextOut(10, 10, "3");
    const Box three = PixelsOf(digit.GetCanvas().Snapshot(), kInk);

    ASSERT_GT(macron.count, 0);
    ASSERT_GT(three.count, 0);
    EXPECT_LT(macron.bottom, three.top);
    EXPECT_EQ(macron.bottom, macron.top) << "one horizontal bar";
    const QFontMetrics m(bar.Native()->font());
    EXPECT_GE(macron.left, 10);
    EXPECT_LT(macron.right, 10 + m.horizontalAdvance(QChar(0xAF)));

    // Overbar then digit, as a negative sample is written: both are there.
    Form both(Layout());
    Canvas& c = both.GetCanvas();
    c.SetBrushColour(ButtonFaceColour());
    c.SetBrushStyle(BrushStyle::Solid);
    c.TextOut(10, 10, "\xAF");
    c.SetBrushStyle(BrushStyle::Clear);
    c.TextOut(10, 10, "3");
    EXPECT_EQ(PixelsOf(c.Snapshot(), kInk).count, macron.count + three.count);
}

TEST_F(CanvasTest, EscapementTurnsTheTextCounterClockwise) {
    Form form(Layout());
    Canvas& canvas = form.GetCanvas();
    Font turned = canvas.GetFont();
    turned.record.lfEscapement = turned.record.lfOrientation = 900;
    canvas.SetFont(turned);
    canvas.SetBrushStyle(BrushStyle::Clear);
    canvas.TextOut(50, 90, "0000000000");
    const Box ink = PixelsOf(canvas.Snapshot(), kInk);
    ASSERT_GT(ink.count, 0);
    EXPECT_GT(ink.bottom - ink.top, 3 * (ink.right - ink.left)) << "runs upward";
    EXPECT_LE(ink.bottom, 90);
    EXPECT_GE(ink.left, 50);
}

TEST_F(CanvasTest, DrawMapsThroughThePaletteAndTurnsTheRowsUpright) {
    Form form(Layout());
    Canvas& canvas = form.GetCanvas();
    Bitmap8 b;
    b.SetWidth(8);
    b.SetHeight(4);
    auto palette = std::make_unique<Palette>();
    palette->colours[1] = 0x102030;
    palette->colours[2] = 0x405060;
    b.SetPalette(std::move(palette));
    std::uint8_t* store = b.ScanLine(3); // the bottom row, first in the store
    store[0] = 1;                        // bottom-left
    store[3 * 8 + 7] = 2;                // top-right

    canvas.Draw(30, 40, b);
    const RgbImage s = canvas.Snapshot();
    EXPECT_EQ(s.At(30, 43), 0x102030u);
    EXPECT_EQ(s.At(37, 40), 0x405060u);
    EXPECT_EQ(s.At(30, 40), 0x000000u); // index 0 of this palette
    EXPECT_EQ(s.At(38, 40), ButtonFaceColour()) << "nothing right of the bitmap";
    EXPECT_EQ(s.At(30, 44), ButtonFaceColour()) << "nothing below it";
}

TEST_F(CanvasTest, DrawClipsAtTheSurfaceEdges) {
    Form form(Layout());
    Canvas& canvas = form.GetCanvas();
    Bitmap8 b;
    b.SetWidth(16);
    b.SetHeight(16);
    auto palette = std::make_unique<Palette>();
    palette->colours[9] = 0x00FF00;
    b.SetPalette(std::move(palette));
    for (int r = 0; r < 16; ++r)
        for (int x = 0; x < 16; ++x) b.ScanLine(r)[x] = 9;
    canvas.Draw(-8, -8, b);
    canvas.Draw(192, 92, b);
    const RgbImage s = canvas.Snapshot();
    EXPECT_EQ(PixelsOf(s, 0x00FF00).count, 2 * 64);
    EXPECT_EQ(s.At(0, 0), 0x00FF00u);
    EXPECT_EQ(s.At(199, 99), 0x00FF00u);
}

TEST_F(CanvasTest, SavePngWritesAReadableFile) {
    RgbImage image;
    image.width = 3;
    image.height = 2;
    image.pixels = {1, 2, 3, 0xFF0000, 0x00FF00, 0x0000FF};
    const std::string path = ::testing::TempDir() + "quorvane_canvas.png";
    ASSERT_TRUE(SavePng(image, path));
    const QImage back(QString::fromStdString(path));
    ASSERT_EQ(back.width(), 3);
    EXPECT_EQ(back.pixel(1, 1) & 0xFFFFFFu, 0x00FF00u);
    EXPECT_FALSE(SavePng(image, "/nonexistent-dir/x.png"));
}

} // namespace
