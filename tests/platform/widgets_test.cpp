// Window, labels, push button and image control.
#include "app_fixture.h"
#include "platform/widgets.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWidget>

namespace {

using namespace platform;
using platform_test::GuiTest;

FormLayout Layout(int w = 690, int h = 483) {
    FormLayout l;
    l.caption = "Quorvane";
    l.clientWidth = w;
    l.clientHeight = h;
    l.font = MakeFont("Courier New", 12, ANSI_CHARSET, WindowTextColour());
    return l;
}

Font LabelFont() {
    return MakeFont("MS Sans Serif", 11, DEFAULT_CHARSET, WindowTextColour());
}

class WidgetsTest : public GuiTest {};

TEST_F(WidgetsTest, LabelSizesItselfToEveryText) {
    Form form(Layout());
    Label label(form);
    label.SetFont(LabelFont());
    label.SetLeft(40);
    label.SetTop(5);
    const QFontMetrics m(label.Native()->font());

    // The box fits the text's advance, rounded up at most one pixel.
    auto fits = [&](const char* text) {
        const int advance = m.horizontalAdvance(QString::fromUtf8(text));
        label.SetCaption(text);
        EXPECT_GE(label.Width(), advance) << text;
        EXPECT_LE(label.Width(), advance + 1) << text;
        EXPECT_GE(label.Height(), m.height()) << text;
        EXPECT_LE(label.Height(), m.lineSpacing() + 1) << text;
    };
    fits("-6.0");
    const int narrow = label.Width();
    fits("Sampled Data;");
    EXPECT_GT(label.Width(), narrow);
    EXPECT_EQ(label.Caption(), "Sampled Data;");
    fits("-6.0");
    EXPECT_EQ(label.Width(), narrow);
    // Resizing keeps the place.
    EXPECT_EQ(label.Left(), 40);
    EXPECT_EQ(label.Top(), 5);

    // The label font's height is about the 13 pixels the layout was made for.
    EXPECT_GE(label.Height(), 12);
    EXPECT_LE(label.Height(), 14);
}

TEST_F(WidgetsTest, LabelFollowsANewFont) {
    Form form(Layout());
    Label label(form);
    label.SetCaption("Precoder:");
    label.SetFont(MakeFont("MS Sans Serif", 22, DEFAULT_CHARSET, 0));
    const QFontMetrics m(label.Native()->font());
    EXPECT_GE(label.Width(), m.horizontalAdvance(QStringLiteral("Precoder:")));
    EXPECT_LE(label.Width(), m.horizontalAdvance(QStringLiteral("Precoder:")) + 1);
    EXPECT_GT(label.Height(), 20);
}

struct ButtonWindow {
    Form form{Layout()};
    ImageControl picture{form};
    Button button{form};
    Label label{form};
    int clicks = 0;
    ButtonWindow() {
        picture.SetBounds(40, 40, 600, 400);
        button.SetCaption("&Clidk To Run");
        button.SetBounds(304, 408, 75, 25);
        button.SetSoleFocus();
        button.OnClick = [this] { ++clicks; };
        label.SetCaption("Raw Data:");
    }
};

TEST_F(WidgetsTest, ButtonRunsItsHandlerOnClickAndOnItsMnemonic) {
    ButtonWindow w;
    EXPECT_EQ(w.button.Caption(), "&Clidk To Run");
    w.button.Click();
    EXPECT_EQ(w.clicks, 1);

    w.form.Show();
    QApplication::setActiveWindow(w.form.Native());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.Native()));
    QTest::keyClick(w.form.Native(), Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(w.clicks, 2);
    QTest::keyClick(w.form.Native(), Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(w.clicks, 2) << "only the marked letter";

    QTest::mouseClick(w.button.Native(), Qt::LeftButton);
    EXPECT_EQ(w.clicks, 3);
}

TEST_F(WidgetsTest, ButtonIsTheOnlyControlThatTakesFocusAndStaysOnTop) {
    ButtonWindow w;
    w.form.Show();
    QApplication::setActiveWindow(w.form.Native());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.Native()));
    EXPECT_EQ(QApplication::focusWidget(), w.button.Native());
    EXPECT_EQ(w.label.Native()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w.picture.Native()->focusPolicy(), Qt::NoFocus);
    QTest::keyClick(w.form.Native(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.button.Native());

    // Inside the picture's rectangle the button is what is seen and hit,
    // even for a picture made after it.
    ImageControl later(w.form);
    later.SetBounds(300, 400, 100, 50);
    EXPECT_EQ(w.form.Native()->childAt(340, 420), w.button.Native());
}

TEST_F(WidgetsTest, ImagePictureIsMadeOnFirstUseAtTheControlsSize) {
    Form form(Layout());
    ImageControl image(form);
    image.SetBounds(40, 40, 60, 30);
    EXPECT_FALSE(image.HasPicture());
    const RgbImage s = image.GetCanvas().Snapshot();
    EXPECT_TRUE(image.HasPicture());
    EXPECT_EQ(s.width, 60);
    EXPECT_EQ(s.height, 30);
    // Later size changes leave the picture as it is.
    image.SetWidth(100);
    EXPECT_EQ(image.GetCanvas().Snapshot().width, 60);
}

TEST_F(WidgetsTest, ImageControlShowsItsPictureUnscaledAtItsPlace) {
    Form form(Layout(200, 100));
    ImageControl image(form);
    image.SetBounds(40, 30, 16, 8);
    Bitmap8 b;
    b.SetWidth(16);
    b.SetHeight(8);
    auto palette = std::make_unique<Palette>();
    palette->colours[15] = 0xFFFFFF;
    palette->colours[14] = 0xFFFF00;
    b.SetPalette(std::move(palette));
    b.ScanLine(7)[0] = 15;  // bottom row, stored first
    b.ScanLine(0)[15] = 14; // top row
    image.GetCanvas().Draw(0, 0, b);
    form.Show();
    const RgbImage grab = form.GrabClient();
    EXPECT_EQ(grab.At(40, 37), 0xFFFFFFu);
    EXPECT_EQ(grab.At(55, 30), 0xFFFF00u);
    EXPECT_EQ(grab.At(41, 37), 0u);
    EXPECT_EQ(grab.At(39, 37), ButtonFaceColour());
}

TEST_F(WidgetsTest, FormOpensCentredWithTitleAndMaximiseButNoMinimiseBox) {
    Form form(Layout());
    form.Show();
    QWidget* w = form.Native();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Quorvane"));
    EXPECT_EQ(w->size(), QSize(690, 483));
    const Qt::WindowFlags flags = w->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE(std::abs(w->frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(w->frameGeometry().center().y() - screen.center().y()), 1);
}

TEST_F(WidgetsTest, FormSurfaceHasTheButtonFaceColourAndSurvivesRepaints) {
    Form form(Layout(200, 100));
    Label label(form);
    label.SetCaption("Raw Data:");
    form.Show();
    Canvas& canvas = form.GetCanvas();
    EXPECT_EQ(canvas.Snapshot().At(199, 99), ButtonFaceColour());
    canvas.SetBrushColour(0xFF0000);
    canvas.TextOut(20, 60, "0101");
    QApplication::processEvents();
    const RgbImage before = form.GrabClient();
    EXPECT_EQ(before.At(20, 60), 0xFF0000u);
    EXPECT_EQ(before.At(199, 99), ButtonFaceColour());

    form.Native()->update();
    form.Native()->repaint();
    QApplication::processEvents();
    EXPECT_EQ(form.GrabClient().pixels, before.pixels);
}

TEST_F(WidgetsTest, DraggingCannotResizeButMaximisingGrowsTheClient) {
    Form form(Layout(300, 200));
    Button button(form);
    button.SetBounds(10, 150, 75, 25);
    form.Show();
    form.GetCanvas().SetBrushColour(0x00FF00);
    form.GetCanvas().TextOut(250, 180, "1");

    form.Native()->resize(400, 250);
    QApplication::processEvents();
    EXPECT_EQ(form.Native()->size(), QSize(300, 200));
    form.Native()->resize(200, 100);
    QApplication::processEvents();
    EXPECT_EQ(form.Native()->size(), QSize(300, 200));

    form.Native()->showMaximized();
    QApplication::processEvents();
    const QSize big = form.Native()->size();
    ASSERT_GT(big.width(), 300);
    ASSERT_GT(big.height(), 200);
    const RgbImage surface = form.GetCanvas().Snapshot();
    EXPECT_EQ(surface.width, big.width());
    EXPECT_EQ(surface.At(250, 180), 0x00FF00u);
    EXPECT_EQ(surface.At(big.width() - 1, big.height() - 1), ButtonFaceColour());
    EXPECT_EQ(button.Left(), 10);
    EXPECT_EQ(button.Top(), 150);
    EXPECT_EQ(form.GrabClient().At(250, 180), 0x00FF00u);

    form.Native()->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(form.Native()->size(), QSize(300, 200));
}

TEST_F(WidgetsTest, ControlOutlivingItsWindowIsHarmless) {
    auto form = std::make_unique<Form>(Layout());
    Label label(*form);
    form.reset();
    EXPECT_EQ(label.Native(), nullptr);
}

} // namespace
