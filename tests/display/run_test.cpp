// Whole runs through the click handler: the block, the trace, the rings and
// the strips, and what carries from one run to the next.
#include "channel/coding.h"
#include "channel/random.h"
#include "channel/waveform.h"
#include "display/frame.h"
#include "display/trace.h"
#include "platform/canvas.h"
#include "window_fixture.h"

#include <QTest>
#include <QWidget>
#include <algorithm>
#include <iterator>
#include <string>

using namespace testing_window;

namespace {

std::string Bits(const channel::Sequence& s) {
    std::string t;
    for (int v : s) t += static_cast<char>('0' + v);
    return t;
}

void Press() {
    Window().Button1.Click();
}

// Starts the generator as the program does and presses once.
void FirstRun() {
    channel::SeedRandom(1);
    Press();
}

TEST(FirstRun, BlockAndStripTexts) {
    FirstRun();
    EXPECT_EQ(Bits(channel::rawData), "0000111000011000111110101011011110011101");
    EXPECT_EQ(Bits(channel::precData), "0000101101011010111111001110101110101100");
    const display::StripTexts t = display::MakeStripTexts(channel::rawData, channel::precData,
                                                          channel::nrziData, channel::sampData);
    EXPECT_EQ(t.raw, "0000111000011000111110101011011110011101");
    EXPECT_EQ(t.precoder, "0000101101011010111111001110101110101100");
    EXPECT_EQ(t.nrzi, "0000111011110111100000101001111001111010");
    EXPECT_EQ(t.samplesDigits, "0000133220211202113310145053231132231121");
    std::string bars = "0000133220211202113310145053231132231121";
    for (int k : {10, 11, 15, 16, 22, 23, 24, 28, 29, 30, 34, 35, 36, 39}) bars[k] = '\xAF';
    EXPECT_EQ(t.samplesBars, bars);
}

TEST(FirstRun, SampleRingsStandOnTheirRows) {
    FirstRun();
    const int rows[41] = {199, 200, 200, 200, 230, 290, 290, 260, 260, 199, 140, 170, 229, 260,
                          199, 140, 170, 229, 290, 289, 229, 199, 169, 79,  49,  199, 349, 289,
                          140, 110, 169, 229, 290, 259, 140, 109, 169, 229, 260, 169, 50};
    const Raster r = Plot();
    for (int k = 0; k <= 40; ++k) {
        const int x = 100 + 10 * k, y = rows[k];
        // The ring: three pixels above and below, two each side; the centre
        // keeps the trace.
        for (int dx = -1; dx <= 1; ++dx) {
            EXPECT_EQ(At(r, x + dx, y + 2), 15) << "k=" << k;
            EXPECT_EQ(At(r, x + dx, y - 2), 15) << "k=" << k;
        }
        for (int dy = -1; dy <= 1; ++dy) {
            EXPECT_EQ(At(r, x - 2, y + dy), 15) << "k=" << k;
            EXPECT_EQ(At(r, x + 2, y + dy), 15) << "k=" << k;
        }
        EXPECT_EQ(At(r, x, y), 14) << "k=" << k;
        EXPECT_NE(At(r, x - 2, y + 2), 15) << "k=" << k;
    }
    int rings = 0;
    for (std::uint8_t v : r) rings += v == 15;
    EXPECT_EQ(rings, 41 * 12);
}

TEST(FirstRun, TraceStartsAtTheZeroLevel) {
    FirstRun();
    for (int j = 0; j <= 10; ++j) EXPECT_EQ(display::ValueToRow(channel::waveBuf[j]), 199) << j;
    EXPECT_EQ(display::ValueToRow(channel::waveBuf[11]), 200);
    const Raster r = Plot();
    for (int j = 1; j <= 9; ++j) EXPECT_EQ(At(r, j, 199), 14) << j;
    // The trace stays within the rows the waveform's bound allows.
    for (int x = 0; x < 600; ++x)
        for (int y = 0; y < 400; ++y)
            if (At(r, x, y) == 14) {
                EXPECT_TRUE(y >= 19 && y <= 380) << x << "," << y;
            }
}

TEST(Runs, ContinueTheSequenceAndRepeatAfterARestart) {
    FirstRun();
    Press();
    EXPECT_EQ(Bits(channel::rawData), "0000100111010001001110100110111101100000");
    EXPECT_EQ(Bits(channel::precData), "0000111001111001101101110011100111011101");
    FirstRun();
    EXPECT_EQ(Bits(channel::rawData), "0000111000011000111110101011011110011101");
    EXPECT_EQ(channel::randomState, 1211716366u);
}

TEST(Runs, EachRunStartsFromAClearPlot) {
    // Run 2 drawn over run 1 must equal run 2 drawn over the start frame.
    FirstRun();
    Press();
    const Raster overRun1 = Plot();
    channel::SeedRandom(1);
    channel::GenerateBlock(); // spends run 1's draws
    display::DrawFrame(Window().PlotSurface());
    Press();
    EXPECT_EQ(Plot(), overRun1);
}

TEST(Runs, BrushLeftClearAndSetSolidBeforeTheFirstStrip) {
    display::TForm1& f = Window();
    Press();
    platform::Canvas& c = f.GetCanvas();
    EXPECT_EQ(c.GetBrushStyle(), platform::BrushStyle::Clear);
    c.SetBrushColour(0xFF0000);
    Press();
    EXPECT_EQ(c.BrushColour(), platform::ButtonFaceColour());
    EXPECT_EQ(c.GetBrushStyle(), platform::BrushStyle::Clear);
    // The raw strip's cells were painted on the face colour, not red.
    const platform::RgbImage s = c.Snapshot();
    for (int x = 40; x < 340; ++x)
        for (int y = 22; y < 34; ++y) ASSERT_NE(s.At(x, y), 0xFF0000u) << x << "," << y;
}

TEST(Runs, MnemonicAndClickBothRun) {
    display::TForm1& f = Window();
    QWidget* w = f.Native();
    w->activateWindow();
    const std::uint32_t before = channel::randomState;
    QTest::keyClick(w, Qt::Key_C, Qt::AltModifier);
    QApplication::processEvents();
    EXPECT_NE(channel::randomState, before) << "Alt+C did not run";
    const std::uint32_t afterKey = channel::randomState;
    QTest::mouseClick(f.Button1.Native(), Qt::LeftButton);
    EXPECT_NE(channel::randomState, afterKey) << "a click did not run";
}

TEST(Strips, DrawnAroundThePlotAndKeptAcrossRepaints) {
    display::TForm1& f = Window();
    FirstRun();
    QApplication::processEvents();
    const platform::RgbImage before = f.GrabClient();
    // Every strip puts dark glyph pixels into its row band.
    auto inkIn = [&](const platform::RgbImage& img, int x0, int y0) {
        int n = 0;
        for (int y = y0; y < y0 + 14; ++y)
            for (int x = x0; x < x0 + 290; ++x) n += img.At(x, y) == platform::WindowTextColour();
        return n;
    };
    for (auto [x, y] : {std::pair{40, 22}, {340, 22}, {40, 460}, {340, 460}})
        EXPECT_GT(inkIn(before, x, y), 40) << x << "," << y;
    f.Native()->repaint();
    f.Native()->hide();
    f.Native()->show();
    QApplication::processEvents();
    const platform::RgbImage after = f.GrabClient();
    EXPECT_EQ(after.pixels, before.pixels);
}

} // namespace
