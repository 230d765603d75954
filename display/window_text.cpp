#include "display/window_text.h"

#include "channel/coding.h"
#include "display/form1.h"
#include "display/trace.h"
#include "platform/canvas.h"
#include "platform/format.h"

namespace display {
namespace {

// One tick label: the value it names, whether positive values carry a plus
// sign, and the fraction of the plot's height above its level line. The
// fractions that are exact binary values are single-precision constants; the
// others are the doubles nearest their decimals, and those lie a hair below
// (0.95, 0.35, 0.725, 0.575, 0.425), which lifts those labels by a pixel.
struct Tick {
    long double value;
    const char* format;
    long double fraction;
};

const Tick kTicks[13] = {
    {-6.0L, "0.0", 0.95},   {-4.0L, "0.0", 0.8},   {-2.0L, "0.0", 0.65},  {0.0L, "0.0", 0.5f},
    {2.0L, "+0.0", 0.35},   {4.0L, "+0.0", 0.2},   {6.0L, "+0.0", 0.05},  {-5.0L, "0.0", 0.875f},
    {-3.0L, "0.0", 0.725},  {-1.0L, "0.0", 0.575}, {1.0L, "+0.0", 0.425}, {3.0L, "+0.0", 0.275},
    {5.0L, "+0.0", 0.125f},
};

} // namespace

void PlaceTickLabels() {
    TForm1& form = *Form1;
    platform::Label* const labels[13] = {
        &form.Label1,  &form.Label2,  &form.Label3,  &form.Label4, &form.Label5,
        &form.Label6,  &form.Label7,  &form.Label8,  &form.Label9, &form.Label10,
        &form.Label11, &form.Label12, &form.Label13,
    };
    const int plotLeft = form.xmg.Left();
    const int plotTop = form.xmg.Top();
    const int plotHeight = form.xmg.Height();
    for (int i = 0; i < 13; ++i) {
        platform::Label& label = *labels[i];
        label.SetCaption(platform::FormatFloat(kTicks[i].format, kTicks[i].value));
        label.SetLeft(plotLeft - label.Width() - 4);
        const int halfHeight = label.Height() / 2;
        const long double top = static_cast<long double>(plotHeight) * kTicks[i].fraction +
                                static_cast<long double>(plotTop) -
                                static_cast<long double>(halfHeight);
        label.SetTop(static_cast<int>(top));
    }
}

void DrawStrips() {
    TForm1& form = *Form1;
    platform::Canvas& canvas = form.GetCanvas();
    const int left = form.xmg.Left();
    const int top = form.xmg.Top();
    const int middle = left + form.xmg.Width() / 2;
    const int below = top + form.xmg.Height() + 20;

    const StripTexts t =
        MakeStripTexts(channel::rawData, channel::precData, channel::nrziData, channel::sampData);
    canvas.SetBrushColour(platform::ButtonFaceColour());
    canvas.SetBrushStyle(platform::BrushStyle::Solid);
    canvas.TextOut(left, top - 18, t.raw);
    canvas.TextOut(middle, top - 18, t.precoder);
    canvas.TextOut(left, below, t.nrzi);
    canvas.TextOut(middle, below, t.samplesBars);
    canvas.SetBrushStyle(platform::BrushStyle::Clear);
    canvas.TextOut(middle, below, t.samplesDigits);
}

} // namespace display
