#include "labwindow/style.h"

#include <algorithm>
#include <cmath>

namespace labwindow {

QColor DoubtShade(float llr) {
    // A NaN says nothing: as doubtful as 0.
    const double size = std::isnan(llr) ? 0 : std::fabs(static_cast<double>(llr));
    const double doubt = 1 - std::min(size, kSureRatio) / kSureRatio;
    // White to amber (255, 200, 90), in steps a picture can count on.
    const auto mix = [doubt](int to) {
        return static_cast<int>(std::lround(255 - doubt * (255 - to)));
    };
    return QColor(255, mix(200), mix(90));
}

QColor ColourOf(detectors::Kind kind) {
    return QColor::fromRgb(static_cast<QRgb>(detectors::RowOf(kind).colour));
}

QFont StripFont(int pixels) {
    QFont font(QStringLiteral("Liberation Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(pixels);
    return font;
}

QFont ViewFont(int pixels, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace labwindow
