// The image control: bitmaps, row tables, palettes, the palette loader.
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/widgets.h"
#include "ximage/Ximage3.h"

#include <QDir>
#include <algorithm>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

int gArgc = 1;
char gName[] = "test_ximage";
char* gArgv[] = {gName, nullptr};

platform::FormLayout Layout() {
    platform::FormLayout l;
    l.caption = "Quorvane";
    l.clientWidth = 690;
    l.clientHeight = 483;
    l.font = platform::MakeFont("Courier New", 12, platform::ANSI_CHARSET, 0);
    return l;
}

class XImage3Test : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { app_ = std::make_unique<platform::Application>(gArgc, gArgv); }
    static void TearDownTestSuite() { app_.reset(); }
    void SetUp() override {
        platform::Application::SetErrorPresenter(
            [this](const std::string&, const std::string& text) { errors_.push_back(text); });
    }
    void TearDown() override {
        platform::SetOpenDialogRunner(nullptr);
        platform::Application::SetErrorPresenter(nullptr);
        EXPECT_TRUE(errors_.empty()) << "the control reports nothing";
    }

    platform::Form form_{Layout()};
    TXImage3 xmg_{form_};
    std::vector<std::string> errors_;

  private:
    static inline std::unique_ptr<platform::Application> app_;
};

TEST_F(XImage3Test, StartsWithEmptyBitmapsAndABlackColourTable) {
    EXPECT_EQ(xmg_.BitmapCount, 3);
    EXPECT_TRUE(xmg_.PaletteFileName.empty());
    ASSERT_EQ(xmg_.Bitmaps.size(), 3u);
    ASSERT_EQ(xmg_.Palettes.size(), 3u);
    ASSERT_EQ(xmg_.RowTables.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(xmg_.Bitmaps[i]->Width(), 0);
        EXPECT_EQ(xmg_.Bitmaps[i]->Height(), 0);
        EXPECT_EQ(xmg_.Palettes[i]->palVersion, 0x300);
        EXPECT_EQ(xmg_.Palettes[i]->palNumEntries, 256);
        EXPECT_EQ(xmg_.RowTables[i].Count(), 0);
    }
    EXPECT_TRUE(std::all_of(std::begin(xmg_.ColorTable), std::end(xmg_.ColorTable),
                            [](std::uint8_t b) { return b == 0; }));

    TXImage3 five(form_, 5);
    EXPECT_EQ(five.BitmapCount, 5);
    EXPECT_EQ(five.Bitmaps.size(), 5u);
    EXPECT_EQ(five.RowTables.size(), 5u);
}

TEST_F(XImage3Test, RowTableRunsBottomUpThroughOneBlock) {
    xmg_.ResizeBmp(0, 600, 400);
    const platform::Bitmap8& b = *xmg_.Bitmaps[0];
    ASSERT_EQ(b.Width(), 600);
    ASSERT_EQ(b.Height(), 400);
    ASSERT_EQ(xmg_.RowTables[0].Count(), 400);
    const raster::RowTable rt = xmg_.RowTable(0);
    EXPECT_EQ(rt[0], b.ScanLine(399)) << "entry 0 is the bottom line";
    EXPECT_EQ(rt[399], b.ScanLine(0)) << "the last entry is the top line";
    for (int y = 1; y < 400; ++y) ASSERT_EQ(rt[y] - rt[y - 1], 600) << y;
    // The whole raster is the 240000 bytes from entry 0.
    rt[0][0] = 1;
    rt[0][600 * 400 - 1] = 2;
    EXPECT_EQ(b.ScanLine(399)[0], 1);
    EXPECT_EQ(b.ScanLine(0)[599], 2);
}

TEST_F(XImage3Test, ResizeRoundsWidthToEightAndHeightToEven) {
    struct Case {
        int w, h, bw, bh;
    };
    for (const Case c : {Case{601, 401, 608, 402}, Case{1, 1, 8, 2}, Case{600, 400, 600, 400},
                         Case{7, 3, 8, 4}, Case{0, 0, 0, 0}}) {
        xmg_.ResizeBmp(1, c.w, c.h);
        EXPECT_EQ(xmg_.Bitmaps[1]->Width(), c.bw) << c.w;
        EXPECT_EQ(xmg_.Bitmaps[1]->Height(), c.bh) << c.h;
        EXPECT_EQ(xmg_.RowTables[1].Count(), c.bh);
        if (c.bh > 1) {
            EXPECT_EQ(xmg_.RowTable(1)[1] - xmg_.RowTable(1)[0], c.bw);
        }
    }
    // Only the bitmap asked for changes.
    EXPECT_EQ(xmg_.Bitmaps[0]->Width(), 0);
    EXPECT_EQ(xmg_.Bitmaps[2]->Height(), 0);
}

TEST_F(XImage3Test, AssignPaletteCopiesTheColoursOfOneBitmapWithFlagsZero) {
    xmg_.AssignPalette(0);
    for (const platform::PaletteEntry& e : xmg_.Palettes[0]->palPalEntry) {
        EXPECT_EQ(e.peRed | e.peGreen | e.peBlue | e.peFlags, 0);
    }
    for (platform::Colour c : xmg_.Bitmaps[0]->GetPalette().colours) EXPECT_EQ(c, 0u);

    const std::uint8_t yellow[4] = {255, 255, 0, 77}; // the reserved byte plays no part
    std::copy(std::begin(yellow), std::end(yellow), xmg_.ColorTable + 4 * 14);
    xmg_.ColorTable[4 * 255 + 2] = 9;
    xmg_.AssignPalette(1);
    const platform::PaletteEntry& e = xmg_.Palettes[1]->palPalEntry[14];
    EXPECT_EQ(e.peRed, 255);
    EXPECT_EQ(e.peGreen, 255);
    EXPECT_EQ(e.peBlue, 0);
    EXPECT_EQ(e.peFlags, 0);
    EXPECT_EQ(xmg_.Palettes[1]->palVersion, 0x300);
    EXPECT_EQ(xmg_.Bitmaps[1]->GetPalette().colours[14], 0xFFFF00u);
    EXPECT_EQ(xmg_.Bitmaps[1]->GetPalette().colours[255], 0x000009u);
    EXPECT_EQ(xmg_.Bitmaps[0]->GetPalette().colours[14], 0u) << "bitmap 0 keeps its palette";
}

TEST_F(XImage3Test, PaletteChangeMakesANewStoreAndResizeANewTable) {
    xmg_.ResizeBmp(0, 600, 400);
    const std::uint8_t* before = xmg_.RowTable(0)[0];
    xmg_.AssignPalette(0);
    EXPECT_NE(xmg_.Bitmaps[0]->ScanLine(399), before);
    xmg_.ResizeBmp(0, 600, 400);
    EXPECT_EQ(xmg_.RowTable(0)[0], xmg_.Bitmaps[0]->ScanLine(399));
}

// The window's own preparation of the plot, then one pixel.
void PreparePlot(TXImage3& xmg) {
    xmg.SetLeft(40);
    xmg.SetTop(40);
    xmg.SetHeight(400);
    xmg.SetWidth(600);
    xmg.ColorTable[4 * 15] = xmg.ColorTable[4 * 15 + 1] = xmg.ColorTable[4 * 15 + 2] = 255;
    xmg.AssignPalette(0);
    xmg.ResizeBmp(0, 600, 400);
}

TEST_F(XImage3Test, RowZeroIsTheBottomLineOfTheShownPicture) {
    PreparePlot(xmg_);
    xmg_.RowTable(0)[0][5] = 15;
    xmg_.RowTable(0)[399][7] = 15;
    xmg_.ShowBitmap(0);
    const platform::RgbImage shown = xmg_.GetCanvas().Snapshot();
    ASSERT_EQ(shown.width, 600);
    ASSERT_EQ(shown.height, 400);
    EXPECT_EQ(shown.At(5, 399), 0xFFFFFFu);
    EXPECT_EQ(shown.At(5, 0), 0u);
    EXPECT_EQ(shown.At(7, 0), 0xFFFFFFu);
    EXPECT_EQ(shown.At(7, 399), 0u);

    // And in the window, at the control's place.
    form_.Show();
    const platform::RgbImage window = form_.GrabClient();
    EXPECT_EQ(window.At(40 + 5, 40 + 399), 0xFFFFFFu);
    EXPECT_EQ(window.At(40 + 7, 40), 0xFFFFFFu);
}

TEST_F(XImage3Test, NewColoursShowOnlyAfterAssignPaletteAndACopy) {
    PreparePlot(xmg_);
    xmg_.RowTable(0)[10][10] = 3;
    xmg_.ShowBitmap(0);
    xmg_.ColorTable[4 * 3] = 200;
    xmg_.ShowBitmap(0);
    EXPECT_EQ(xmg_.GetCanvas().Snapshot().At(10, 389), 0u);
    xmg_.AssignPalette(0);
    EXPECT_EQ(xmg_.GetCanvas().Snapshot().At(10, 389), 0u);
    xmg_.ResizeBmp(0, 600, 400);
    xmg_.RowTable(0)[10][10] = 3;
    xmg_.ShowBitmap(0);
    EXPECT_EQ(xmg_.GetCanvas().Snapshot().At(10, 389), 0xC80000u);
}

// Palette files through the dialog, answered by a stand-in for the user.
class LoadPaletteTest : public XImage3Test {
  protected:
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = QDir::tempPath().toStdString() + "/quorvane_x3_" +
                                 std::to_string(::getpid()) + "_" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        made_.push_back(path);
        return path;
    }
    // The user picks `answer` (or cancels when it is empty).
    void Answer(std::string answer) {
        platform::SetOpenDialogRunner([this, answer](platform::OpenDialog& d) {
            asked_.push_back(d);
            if (answer.empty()) return false;
            d.fileName = answer;
            return true;
        });
    }
    void Preset(std::uint8_t v) {
        std::fill(std::begin(xmg_.ColorTable), std::end(xmg_.ColorTable), v);
    }
    bool RestIs(std::size_t from, std::uint8_t v) const {
        return std::all_of(xmg_.ColorTable + from, std::end(xmg_.ColorTable),
                           [v](std::uint8_t b) { return b == v; });
    }
    void TearDown() override {
        for (const std::string& p : made_) std::remove(p.c_str());
        XImage3Test::TearDown();
    }
    std::vector<platform::OpenDialog> asked_;
    std::vector<std::string> made_;
};

TEST_F(LoadPaletteTest, AsksForColor1PalThenForTheFileChosenBefore) {
    const std::string path = Write("first.pal", std::vector<std::uint8_t>(1024, 3));
    Answer(path);
    xmg_.LoadPalette();
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].title, "Open Palette File");
    EXPECT_EQ(asked_[0].filter, "Palette files (*.pal)|*.PAL");
    EXPECT_EQ(asked_[0].fileName, "color1.pal");
    EXPECT_EQ(xmg_.PaletteFileName, path);
    EXPECT_TRUE(RestIs(0, 3));

    Answer("");
    xmg_.LoadPalette();
    ASSERT_EQ(asked_.size(), 2u);
    EXPECT_EQ(asked_[1].fileName, path);
}

TEST_F(LoadPaletteTest, TenByteFileReplacesBytesZeroToNine) {
    Preset(0xAB);
    Answer(Write("ten.pal", {10, 13, 26, 32, 0, 255, 1, 2, 3, 4}));
    xmg_.LoadPalette();
    const std::uint8_t expected[10] = {10, 13, 26, 32, 0, 255, 1, 2, 3, 4};
    EXPECT_TRUE(std::equal(std::begin(expected), std::end(expected), xmg_.ColorTable));
    EXPECT_TRUE(RestIs(10, 0xAB));
}

TEST_F(LoadPaletteTest, LongFileContributesItsFirst1024Bytes) {
    std::vector<std::uint8_t> bytes(2000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
    Answer(Write("long.pal", bytes));
    xmg_.LoadPalette();
    EXPECT_TRUE(std::equal(std::begin(xmg_.ColorTable), std::end(xmg_.ColorTable), bytes.begin()));
}

TEST_F(LoadPaletteTest, MissingFileKeepsTheColoursButTakesTheName) {
    Preset(0x42);
    const std::string path = QDir::tempPath().toStdString() + "/quorvane_no_such_file.pal";
    Answer(path);
    xmg_.LoadPalette();
    EXPECT_EQ(xmg_.PaletteFileName, path);
    EXPECT_TRUE(RestIs(0, 0x42));

    // A typed bare name comes back with its full path.
    Answer("typed.pal");
    xmg_.LoadPalette();
    EXPECT_EQ(xmg_.PaletteFileName, QDir::current().absoluteFilePath("typed.pal").toStdString());
}

TEST_F(LoadPaletteTest, CancelChangesNothing) {
    const std::string path = Write("kept.pal", {1, 2, 3});
    Answer(path);
    xmg_.LoadPalette();
    Preset(0x10);
    Answer("");
    xmg_.LoadPalette();
    EXPECT_EQ(xmg_.PaletteFileName, path);
    EXPECT_TRUE(RestIs(0, 0x10));
}

TEST_F(LoadPaletteTest, WhateverTheUserPicksTheControlComesBack) {
    const std::string dir =
        QDir::tempPath().toStdString() + "/quorvane_x3_dir_" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    const std::string fifo = dir + "/pipe.pal";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& pick : {dir, fifo, std::string("/dev/null")}) {
        Preset(0x66);
        Answer(pick);
        xmg_.LoadPalette();
        EXPECT_EQ(xmg_.PaletteFileName, pick);
        EXPECT_TRUE(RestIs(0, 0x66)) << pick;
    }
    Preset(0x66);
    Answer("/dev/zero");
    xmg_.LoadPalette();
    EXPECT_TRUE(RestIs(0, 0));
    Answer("/dev/random");
    xmg_.LoadPalette();
    EXPECT_EQ(xmg_.PaletteFileName, "/dev/random");
    ::unlink(fifo.c_str());
    ::rmdir(dir.c_str());
}

TEST_F(XImage3Test, SetFontAngleTurnsTheCanvasFontAndKeepsTheRest) {
    platform::Canvas& canvas = form_.GetCanvas();
    platform::Font font = platform::MakeFont("Courier New", 12, platform::ANSI_CHARSET, 0x0000FF);
    font.record.lfWeight = 700;
    canvas.SetFont(font);
    TXImage3::SetFontAngle(canvas, 900);
    const platform::LogFont& r = canvas.GetFont().record;
    EXPECT_EQ(r.lfEscapement, 900);
    EXPECT_EQ(r.lfOrientation, 900);
    EXPECT_EQ(r.lfOutPrecision, platform::OUT_TT_ONLY_PRECIS);
    EXPECT_EQ(r.lfHeight, -12);
    EXPECT_EQ(r.lfWeight, 700);
    EXPECT_EQ(r.lfCharSet, platform::ANSI_CHARSET);
    EXPECT_STREQ(r.lfFaceName, "Courier New");
    EXPECT_EQ(canvas.GetFont().colour, 0x0000FFu);

    // Text drawn afterwards runs upward from its start.
    canvas.SetBrushStyle(platform::BrushStyle::Clear);
    canvas.TextOut(100, 300, "0000000000");
    const platform::RgbImage s = canvas.Snapshot();
    int top = s.height, bottom = -1, left = s.width, right = -1;
    for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
            if (s.At(x, y) == 0x0000FFu) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(bottom, 0);
    EXPECT_GT(bottom - top, 3 * (right - left));
    EXPECT_LE(bottom, 300);
}

TEST(XImage3Register, EntersTheControlOnTheSamplesPage) {
    EXPECT_FALSE(platform::IsComponentRegistered("Samples", "TXImage3"));
    raster::Register();
    EXPECT_TRUE(platform::IsComponentRegistered("Samples", "TXImage3"));
}

} // namespace
