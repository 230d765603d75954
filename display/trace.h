#pragma once
// A run's results on screen: the waveform trace and its sample rings in the
// plot raster, and the four digit strips on the window's own surface.
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
StripTexts MakeStripTexts();

// 599 column spans through the value of each column and the next.
void DrawTrace();
// 41 rings at columns 100, 110, ..., 500; drawn after the trace, over it.
void DrawSampleMarkers();
// The four strips around the plot, derived from xmg's place and size. Leaves
// the window surface's brush clear.
void DrawStrips();

} // namespace display
