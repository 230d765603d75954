#include "labwindow/style.h"

namespace labwindow {

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
