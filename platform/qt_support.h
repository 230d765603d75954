#pragma once
// Inside the toolkit layer only: the Qt side of canvases and fonts.
#include "platform/canvas.h"
#include "platform/gdi.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>
#include <functional>
#include <string_view>

namespace platform {

// The Qt font a logical font record stands for.
QFont ToQFont(const LogFont& record);

// Windows-1252 code units to text.
QString FromCp1252(std::string_view bytes);

inline QColor ToQColor(Colour c) {
    return QColor(static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>(c & 0xFF));
}

inline Colour FromQColor(const QColor& c) {
    return (static_cast<Colour>(c.red()) << 16) | (static_cast<Colour>(c.green()) << 8) |
           static_cast<Colour>(c.blue());
}

RgbImage ToRgbImage(const QImage& image);

struct Canvas::Impl {
    QImage image; // Format_RGB32
    Font font;
    QFont qfont;
    Colour brushColour = 0xFFFFFF;
    BrushStyle brushStyle = BrushStyle::Solid;
    // Told which part of the image changed, so the owner can repaint it.
    std::function<void(const QRect&)> changed;

    Impl(QImage picture, const Font& initialFont);
    void Changed(const QRect& area) {
        if (changed) changed(area);
    }
};

} // namespace platform
