#include "display/trace.h"

#include "display/frame.h"
#include "raster/primitives.h"

#include <cassert>
#include <cstdint>

namespace display {
namespace {

std::string BitStrip(const channel::Sequence& bits) {
    std::string text(channel::kBits, '0');
    for (int k = 0; k < channel::kBits; ++k) text[k] = static_cast<char>('0' + bits[k]);
    return text;
}

} // namespace

StripTexts MakeStripTexts(const channel::Sequence& raw, const channel::Sequence& prec,
                          const channel::Sequence& nrzi, const channel::Sequence& samp) {
    StripTexts t{BitStrip(raw), BitStrip(prec), BitStrip(nrzi), std::string(channel::kBits, '0'),
                 std::string(channel::kBits, '0')};
    for (int k = 0; k < channel::kBits; ++k) {
        // One character per value, '0' + value; negative values land below
        // '0' ("/", ".", "-", ",", "+", "*" for -1 ... -6).
        const char c = static_cast<char>('0' + samp[k]);
        t.samplesBars[k] = c < '0' ? kOverbar : c;
        t.samplesDigits[k] = c < '0' ? static_cast<char>('0' + ('0' - c)) : c;
    }
    return t;
}

void DrawTrace(const raster::Surface& plot, const channel::Wave& wave) {
    assert(plot.width == kPlotWidth && plot.height == kPlotHeight && plot.pitch == kPlotWidth);
    const raster::RowTable rt = plot.rows;
    std::int32_t r0 = ValueToRow(wave[0]);
    for (std::int32_t j = 0; j < channel::kColumns - 1; ++j) {
        const std::int32_t r1 = ValueToRow(wave[j + 1]);
        raster::ColumnSpan(rt, j, r0, r1, kTrace);
        r0 = r1;
    }
}

void DrawSampleMarkers(const raster::Surface& plot, const channel::Wave& wave) {
    assert(plot.width == kPlotWidth && plot.height == kPlotHeight && plot.pitch == kPlotWidth);
    const raster::RowTable rt = plot.rows;
    for (std::int32_t k = 0; k <= channel::kBits; ++k) {
        const std::int32_t x = channel::kFirstSampleColumn + channel::kPointsPerBit * k;
        raster::SampleMarker(rt, x, ValueToRow(wave[x]), kSampleRing);
    }
}

} // namespace display
