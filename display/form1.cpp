#include "display/form1.h"

#include "channel/coding.h"
#include "channel/waveform.h"
#include "display/frame.h"
#include "display/trace.h"
#include "display/window_text.h"
#include "platform/dialogs.h"

namespace display {

TForm1* Form1 = nullptr;

namespace {

platform::FormLayout MainLayout() {
    platform::FormLayout layout;
    layout.caption = "Quorvane";
    layout.clientWidth = 690;
    layout.clientHeight = 483;
    layout.fixedBorder = true;
    layout.maximizeBox = true;
    layout.minimizeBox = false;
    layout.centred = true;
    // The window's own font is the strips' font: fixed pitch, so every strip
    // has 40 equal cells and the second pass of a strip hits the first's.
    layout.font =
        platform::MakeFont("Courier New", 12, platform::ANSI_CHARSET, platform::WindowTextColour());
    return layout;
}

platform::Font LabelFont() {
    return platform::MakeFont("MS Sans Serif", 11, platform::DEFAULT_CHARSET,
                              platform::WindowTextColour());
}

} // namespace

TForm1::TForm1()
    : platform::Form(MainLayout()), xmg(*this), Button1(*this), Label1(*this), Label2(*this),
      Label3(*this), Label4(*this), Label5(*this), Label6(*this), Label7(*this), Label8(*this),
      Label9(*this), Label10(*this), Label11(*this), Label12(*this), Label13(*this), Label14(*this),
      Label15(*this), Label16(*this), Label17(*this) {
    xmg.SetBounds(80, 80, 105, 105); // moved and sized once the window is created

    platform::Label* const ticks[13] = {&Label1,  &Label2,  &Label3, &Label4, &Label5,
                                        &Label6,  &Label7,  &Label8, &Label9, &Label10,
                                        &Label11, &Label12, &Label13};
    const platform::Font labelFont = LabelFont();
    for (int i = 0; i < 13; ++i) {
        ticks[i]->SetFont(labelFont);
        ticks[i]->SetCaption("Label" + std::to_string(i + 1));
    }
    struct Caption {
        platform::Label* label;
        const char* text;
        int left, top;
    };
    const Caption captions[4] = {{&Label14, "Raw Data:", 120, 16},
                                 {&Label15, "Precoder:", 368, 16},
                                 {&Label16, "NRZI Encoder:", 104, 456},
                                 {&Label17, "Sampled Data;", 344, 464}};
    for (const Caption& c : captions) {
        c.label->SetFont(labelFont);
        c.label->SetCaption(c.text);
        c.label->SetLeft(c.left);
        c.label->SetTop(c.top);
    }

    Button1.SetFont(platform::MakeFont("MS Sans Serif", 12, platform::ANSI_CHARSET,
                                       platform::WindowTextColour()));
    Button1.SetCaption("&Clidk To Run");
    Button1.SetBounds(304, 408, 75, 25);
    Button1.SetSoleFocus();
    Button1.OnClick = [this] { Button1Click(&Button1); };

    OnCreate = [this] { FormCreate(this); };
}

TForm1::~TForm1() {
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::FormCreate(platform::Form* /*sender*/) {
    platform::SetDialogsStartInCurrentDir(true);

    xmg.SetLeft(40);
    xmg.SetTop(40);
    xmg.SetHeight(400);
    xmg.SetWidth(600);

    for (int i = 0; i < 2; ++i) {
        xmg.Bitmaps[i]->SetHeight(kPlotHeight);
        xmg.Bitmaps[i]->SetWidth(kPlotWidth);
    }

    SetPlotColours(xmg.ColorTable);
    xmg.AssignPalette(0);
    xmg.ResizeBmp(0, kPlotWidth, kPlotHeight);
    xmg.AssignPalette(1);
    xmg.ResizeBmp(1, kPlotWidth, kPlotHeight);

    xmg.ShowBitmap(0); // the first access creates the control's picture at 600 x 400

    channel::BuildPulseTable();
    PlaceTickLabels();

    const int left = xmg.Left();
    const int middle = xmg.Left() + xmg.Width() / 2;
    const int below = xmg.Top() + xmg.Height() + 5;
    Label14.SetLeft(left);
    Label14.SetTop(5);
    Label15.SetLeft(middle);
    Label15.SetTop(5);
    Label16.SetLeft(left);
    Label16.SetTop(below);
    Label17.SetLeft(middle);
    Label17.SetTop(below);

    DrawFrame(PlotSurface());
    xmg.ShowBitmap(0);
}

void TForm1::Button1Click(platform::Control* /*sender*/) {
    const raster::Surface plot = PlotSurface();
    DrawFrame(plot);
    channel::GenerateBlock();
    DrawStrips();
    channel::SynthesizeWave();
    DrawTrace(plot, channel::waveBuf);
    DrawSampleMarkers(plot, channel::waveBuf);
    // Only this copy makes the raster work of the run visible.
    xmg.ShowBitmap(0);
}

raster::Surface TForm1::PlotSurface() const {
    const platform::Bitmap8& bitmap = *xmg.Bitmaps[0];
    return {xmg.RowTable(0), bitmap.Width(), bitmap.Height(), bitmap.Pitch()};
}

} // namespace display
