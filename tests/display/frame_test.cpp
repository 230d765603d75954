// The window as first shown: its plot colours, the labels and the controls'
// places.
#include "display/frame.h"
#include "display/window_text.h"
#include "platform/widgets.h"
#include "window_fixture.h"

#include <QLocale>
#include <QWidget>
#include <map>

using namespace testing_window;

namespace {

TEST(PlotColours, EightEntriesWrittenTheRestBlack) {
    const std::uint8_t* t = Window().xmg.ColorTable;
    const int expected[][5] = {{0, 0, 0, 0, 0},      {2, 0, 128, 0, 0},     {8, 128, 128, 128, 0},
                               {10, 0, 255, 0, 0},   {11, 0, 255, 255, 0},  {12, 255, 0, 0, 0},
                               {14, 255, 255, 0, 0}, {15, 255, 255, 255, 0}};
    for (const auto& e : expected)
        for (int b = 0; b < 4; ++b) EXPECT_EQ(t[4 * e[0] + b], e[b + 1]) << "entry " << e[0];
    for (int i : {1, 3, 4, 5, 6, 7, 9, 13, 16, 200, 255})
        for (int b = 0; b < 4; ++b) EXPECT_EQ(t[4 * i + b], 0) << "entry " << i;
}

TEST(FirstView, ControlsStandWhereTheLayoutPutsThem) {
    display::TForm1& f = Window();
    EXPECT_EQ(f.xmg.Left(), 40);
    EXPECT_EQ(f.xmg.Top(), 40);
    EXPECT_EQ(f.xmg.Width(), 600);
    EXPECT_EQ(f.xmg.Height(), 400);
    EXPECT_EQ(f.Button1.Left(), 304);
    EXPECT_EQ(f.Button1.Top(), 408);
    EXPECT_EQ(f.Button1.Width(), 75);
    EXPECT_EQ(f.Button1.Height(), 25);
    EXPECT_EQ(f.Button1.Caption(), "&Clidk To Run");

    struct C {
        platform::Label* label;
        const char* text;
        int left, top;
    };
    const C captions[] = {{&f.Label14, "Raw Data:", 40, 5},
                          {&f.Label15, "Precoder:", 340, 5},
                          {&f.Label16, "NRZI Encoder:", 40, 445},
                          {&f.Label17, "Sampled Data;", 340, 445}};
    for (const C& c : captions) {
        EXPECT_EQ(c.label->Caption(), c.text);
        EXPECT_EQ(c.label->Left(), c.left) << c.text;
        EXPECT_EQ(c.label->Top(), c.top) << c.text;
    }

    QWidget* w = f.Native();
    EXPECT_EQ(w->windowTitle(), QString("Quorvane"));
    EXPECT_EQ(w->width(), 690);
    EXPECT_EQ(w->height(), 483);
    const Qt::WindowFlags flags = w->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(f.Button1.Native()->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    EXPECT_EQ(f.Label1.Native()->focusPolicy(), Qt::NoFocus);
}

platform::Label* const* TickLabels(display::TForm1& f) {
    static platform::Label* labels[13];
    platform::Label* all[13] = {&f.Label1,  &f.Label2,  &f.Label3, &f.Label4, &f.Label5,
                                &f.Label6,  &f.Label7,  &f.Label8, &f.Label9, &f.Label10,
                                &f.Label11, &f.Label12, &f.Label13};
    for (int i = 0; i < 13; ++i) labels[i] = all[i];
    return labels;
}

TEST(FirstView, TickLabelsRightAlignedAtTheirLevels) {
    display::TForm1& f = Window();
    const char* texts[13] = {"-6.0", "-4.0", "-2.0", "0.0",  "+2.0", "+4.0", "+6.0",
                             "-5.0", "-3.0", "-1.0", "+1.0", "+3.0", "+5.0"};
    // Tops for a 13-pixel label; labels whose fraction's double lies just
    // below its decimal (0.95, 0.35, 0.725, 0.575, 0.425) sit a pixel higher.
    const int tops13[13] = {413, 354, 294, 234, 173, 114, 54, 384, 323, 263, 203, 144, 84};
    const int rows[13] = {20, 80, 140, 200, 260, 320, 380, 50, 110, 170, 230, 290, 350};
    platform::Label* const* labels = TickLabels(f);
    for (int i = 0; i < 13; ++i) {
        platform::Label& l = *labels[i];
        EXPECT_EQ(l.Caption(), texts[i]);
        EXPECT_EQ(l.Left() + l.Width(), 36) << texts[i];
        const int h = l.Height();
        ASSERT_GT(h, 0);
        const int exact = 440 - rows[i] - h / 2; // centre at the level's window row
        if (h == 13) {
            EXPECT_EQ(l.Top(), tops13[i]) << texts[i];
        }
        EXPECT_TRUE(l.Top() == exact || l.Top() == exact - 1) << texts[i] << " " << l.Top();
    }
    // The lifted ones, whatever the label height.
    for (int i : {0, 4, 8, 9, 10}) {
        EXPECT_EQ(labels[i]->Top(), 440 - rows[i] - labels[i]->Height() / 2 - 1) << texts[i];
    }
}

TEST(FirstView, TickTextsFollowTheLocaleDecimalMark) {
    display::TForm1& f = Window();
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    display::PlaceTickLabels();
    platform::Label* const* labels = TickLabels(f);
    EXPECT_EQ(labels[0]->Caption(), "-6,0");
    EXPECT_EQ(labels[3]->Caption(), "0,0");
    EXPECT_EQ(labels[12]->Caption(), "+5,0");
    for (int i = 0; i < 13; ++i) EXPECT_EQ(labels[i]->Left() + labels[i]->Width(), 36);
    QLocale::setDefault(before);
    display::PlaceTickLabels();
    EXPECT_EQ(labels[0]->Caption(), "-6.0");
}

} // namespace
