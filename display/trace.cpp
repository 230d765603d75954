#include "display/trace.h"

#include "channel/coding.h"
#include "channel/waveform.h"
#include "display/form1.h"
#include "display/frame.h"
#include "platform/canvas.h"
#include "raster/primitives.h"

#include <cstdint>

namespace display {
namespace {

std::string BitStrip(const channel::Sequence& bits) {
    std::string text(channel::kBits, '0');
    for (int k = 0; k < channel::kBits; ++k) text[k] = static_cast<char>('0' + bits[k]);
    return text;
}

} // namespace

StripTexts MakeStripTexts() {
    StripTexts t{BitStrip(channel::rawData), BitStrip(channel::precData),
                 BitStrip(channel::nrziData), std::string(channel::kBits, '0'),
                 std::string(channel::kBits, '0')};
    for (int k = 0; k < channel::kBits; ++k) {
        // One character per value, '0' + value; negative values land below
        // '0' ("/", ".", "-", ",", "+", "*" for -1 ... -6).
        const char c = static_cast<char>('0' + channel::sampData[k]);
        t.samplesBars[k] = c < '0' ? kOverbar : c;
        t.samplesDigits[k] = c < '0' ? static_cast<char>('0' + ('0' - c)) : c;
    }
    return t;
}

void DrawTrace() {
    const raster::RowTable rt = Form1->xmg.RowTable(0);
    const float* wave = channel::waveBuf;
    std::int32_t r0 = ValueToRow(wave[0]);
    for (std::int32_t j = 0; j < channel::kColumns - 1; ++j) {
        const std::int32_t r1 = ValueToRow(wave[j + 1]);
        raster::ColumnSpan(rt, j, r0, r1, kTrace);
        r0 = r1;
    }
}

void DrawSampleMarkers() {
    const raster::RowTable rt = Form1->xmg.RowTable(0);
    for (std::int32_t k = 0; k <= channel::kBits; ++k) {
        const std::int32_t x = channel::kFirstSampleColumn + channel::kPointsPerBit * k;
        raster::SampleMarker(rt, x, ValueToRow(channel::waveBuf[x]), kSampleRing);
    }
}

void DrawStrips() {
    TForm1& form = *Form1;
    platform::Canvas& canvas = form.GetCanvas();
    const int left = form.xmg.Left();
    const int top = form.xmg.Top();
    const int middle = left + form.xmg.Width() / 2;
    const int below = top + form.xmg.Height() + 20;

    const StripTexts t = MakeStripTexts();
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
