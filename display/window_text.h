#pragma once
// The texts around the plot: the tick labels to its left and the four digit
// strips above and below it, placed from where the window put the plot.
namespace display {

// Texts, lefts and tops of the thirteen tick labels, from xmg's placement.
void PlaceTickLabels();

// The four strips of the current block around the plot, on the window's own
// surface. Leaves the surface's brush clear.
void DrawStrips();

} // namespace display
