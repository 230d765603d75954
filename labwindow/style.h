#pragma once
// The lab window's colours and fonts. The block and trellis views take the
// main window's plot style: a black ground, green grid lines, grey dashed
// level lines, a yellow trace and white sample rings.
#include <QColor>
#include <QFont>

#include "detectors/table.h"

namespace labwindow {

inline const QColor kGround{0, 0, 0};
inline const QColor kFineGrid{0, 128, 0};
inline const QColor kCoarseGrid{0, 255, 0};
inline const QColor kLevelLine{128, 128, 128};
inline const QColor kLimitLine{0, 255, 255};
inline const QColor kTrace{255, 255, 0};        // the clean waveform, the decided path
inline const QColor kSampleRing{255, 255, 255}; // received samples
inline const QColor kNoisyTrace{255, 150, 40};  // the waveform the detectors saw
inline const QColor kTruePath{0, 200, 255};
inline const QColor kSurvivor{72, 72, 72};
// A wrong bit: its cell in this red, its digit in white. Nothing else in the
// block view is this colour, so a picture's red pixels are its errors.
inline const QColor kWrong{224, 0, 0};
inline const QColor kEventBand{224, 0, 0, 70};

// A soft detector's cell by its ratio: white where it is sure (|L| of
// kSureRatio and more), deepening to amber as |L| falls to 0.
inline constexpr double kSureRatio = 8;
QColor DoubtShade(float llr);

// A detector's colour, its row's: the same on the lab's charts.
QColor ColourOf(detectors::Kind kind);

// The digits of the strips: fixed pitch, so every bit has the same cell.
QFont StripFont(int pixels);
// Labels and titles inside the views.
QFont ViewFont(int pixels, bool bold = false);

} // namespace labwindow
