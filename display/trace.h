#pragma once
// A run's results: the waveform trace and its sample rings in a plot raster,
// and the texts of the four digit strips.
#include "channel/coding.h"
#include "channel/waveform.h"
#include "raster/surface.h"

#include <string>

namespace display {

// Cell 175 of the strip font's character set: a bar above the digits.
inline constexpr char kOverbar = static_cast<char>(0xAF);

// The strips of the current block, 40 characters each. The sampled-data
// strip is drawn twice over the same cells: first opaque with the bar in
// place of every negative value, then clear with the magnitude digits, so a
// negative value shows as a digit with a bar over it.
struct StripTexts {
    std::string raw;
    std::string precoder;
    std::string nrzi;
    std::string samplesBars;   // first pass
    std::string samplesDigits; // second pass
};
StripTexts MakeStripTexts(const channel::Sequence& raw, const channel::Sequence& prec,
                          const channel::Sequence& nrzi, const channel::Sequence& samp);

// 599 column spans through the value of each column and the next, into a
// 600 x 400 plot raster.
void DrawTrace(const raster::Surface& plot, const channel::Wave& wave);
// 41 rings at columns 100, 110, ..., 500; drawn after the trace, over it.
void DrawSampleMarkers(const raster::Surface& plot, const channel::Wave& wave);

} // namespace display
