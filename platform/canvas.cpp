#include "platform/canvas.h"

#include "platform/qt_support.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QTransform>
#include <algorithm>
#include <array>
#include <mutex>

namespace platform {

namespace {

// Faces the layouts ask for, and what stands in for them where the original
// is not installed: the same metrics for Courier New, a plain sans for the
// old bitmap face.
void InstallSubstitutions() {
    static std::once_flag once;
    std::call_once(once, [] {
        QFont::insertSubstitutions(
            QStringLiteral("Courier New"),
            {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
        QFont::insertSubstitutions(
            QStringLiteral("MS Sans Serif"),
            {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    });
}

// 0x80..0x9F of Windows-1252; 0 where the code page leaves a hole.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

QFont ToQFont(const LogFont& record) {
    InstallSubstitutions();
    QFont font;
    const QString face = QString::fromLatin1(record.lfFaceName);
    if (!face.isEmpty()) font.setFamily(face);
    // Negative: the character (em) height; positive: the cell height, which
    // includes the internal leading. Qt sizes by em, so a cell height is
    // scaled down by the face's own ratio.
    if (record.lfHeight < 0) {
        font.setPixelSize(-record.lfHeight);
    } else if (record.lfHeight > 0) {
        font.setPixelSize(record.lfHeight);
        const QFontMetrics m(font);
        if (m.height() > record.lfHeight) {
            font.setPixelSize(std::max(1, record.lfHeight * record.lfHeight / m.height()));
        }
    } else {
        font.setPixelSize(12);
    }
    if (record.lfWeight > 0) {
        font.setWeight(static_cast<QFont::Weight>(std::clamp(record.lfWeight, 100, 900)));
    } else {
        font.setWeight(QFont::Normal);
    }
    font.setItalic(record.lfItalic != 0);
    font.setUnderline(record.lfUnderline != 0);
    font.setStrikeOut(record.lfStrikeOut != 0);
    font.setStyleHint(QFont::AnyStyle, QFont::NoAntialias);
    // Whole-pixel advances: every cell of a fixed-pitch face has the same
    // integer width, as on the window system the layout was made for.
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QString FromCp1252(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        char16_t u = b;
        if (b >= 0x80 && b <= 0x9F) {
            u = kCp1252High[b - 0x80];
            if (u == 0) u = b; // unassigned: keep the control code
        }
        text.append(QChar(u));
    }
    return text;
}

RgbImage ToRgbImage(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    RgbImage out;
    out.width = image.width();
    out.height = image.height();
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < out.width; ++x) {
            out.pixels[static_cast<std::size_t>(y) * out.width + x] = line[x] & 0xFFFFFFu;
        }
    }
    return out;
}

Colour ButtonFaceColour() {
    if (QGuiApplication::instance() == nullptr) return 0xF0F0F0;
    return FromQColor(QGuiApplication::palette().color(QPalette::Active, QPalette::Button));
}

Colour WindowTextColour() {
    if (QGuiApplication::instance() == nullptr) return 0x000000;
    return FromQColor(QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText));
}

namespace {
QImage ToQImage(const RgbImage& image) {
    QImage out(image.width, image.height, QImage::Format_RGB32);
    for (int y = 0; y < image.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < image.width; ++x) line[x] = 0xFF000000u | image.At(x, y);
    }
    return out;
}
} // namespace

bool SavePng(const RgbImage& image, const std::string& path) {
    if (image.width <= 0 || image.height <= 0) return false;
    return ToQImage(image).save(QString::fromStdString(path), "PNG");
}

bool WritePng(const RgbImage& image, std::FILE* out) {
    if (image.width <= 0 || image.height <= 0) return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!ToQImage(image).save(&buffer, "PNG")) return false;
    const auto size = static_cast<std::size_t>(bytes.size());
    return std::fwrite(bytes.constData(), 1, size, out) == size;
}

Canvas::Impl::Impl(QImage picture, const Font& initialFont)
    : image(std::move(picture)), font(initialFont), qfont(ToQFont(initialFont.record)) {}

Canvas::Canvas(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Canvas::~Canvas() = default;

const Font& Canvas::GetFont() const {
    return impl_->font;
}

void Canvas::SetFont(const Font& font) {
    impl_->font = font;
    impl_->qfont = ToQFont(font.record);
}

Colour Canvas::BrushColour() const {
    return impl_->brushColour;
}
void Canvas::SetBrushColour(Colour colour) {
    impl_->brushColour = colour & 0xFFFFFF;
}
BrushStyle Canvas::GetBrushStyle() const {
    return impl_->brushStyle;
}
void Canvas::SetBrushStyle(BrushStyle style) {
    impl_->brushStyle = style;
}

void Canvas::TextOut(int x, int y, std::string_view cp1252) {
    Impl& d = *impl_;
    if (d.image.isNull() || cp1252.empty()) return;
    const QString text = FromCp1252(cp1252);
    const QFontMetrics metrics(d.qfont);
    const int advance = metrics.horizontalAdvance(text);
    const int height = metrics.height();

    QPainter painter(&d.image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setFont(d.qfont);
    // The escapement turns the text about its top-left corner, counter-
    // clockwise on the screen.
    QTransform turn;
    turn.translate(x, y);
    turn.rotate(-d.font.record.lfEscapement / 10.0);
    painter.setTransform(turn);
    const QRect cells(0, 0, advance, height);
    if (d.brushStyle == BrushStyle::Solid) painter.fillRect(cells, ToQColor(d.brushColour));
    painter.setPen(ToQColor(d.font.colour));
    painter.drawText(QPoint(0, metrics.ascent()), text);
    painter.end();
    d.Changed(turn.mapRect(cells).adjusted(-1, -1, 1, 1));
}

void Canvas::Draw(int x, int y, const Bitmap8& bitmap) {
    Impl& d = *impl_;
    if (d.image.isNull()) return;
    std::array<QRgb, 256> lut{};
    const Palette& palette = bitmap.GetPalette();
    for (std::size_t i = 0; i < lut.size(); ++i) lut[i] = 0xFF000000u | palette.colours[i];

    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const int x0 = std::max(x, 0);
    const int x1 = std::min(x + width, d.image.width());
    const int y0 = std::max(y, 0);
    const int y1 = std::min(y + height, d.image.height());
    if (x0 >= x1 || y0 >= y1) return;
    // The store holds the bottom row first; ScanLine counts from the top, so
    // the rows come out the right way up.
    for (int row = y0; row < y1; ++row) {
        const std::uint8_t* src = bitmap.ScanLine(row - y) + (x0 - x);
        auto* dst = reinterpret_cast<QRgb*>(d.image.scanLine(row)) + x0;
        for (int col = x0; col < x1; ++col) *dst++ = lut[*src++];
    }
    d.Changed(QRect(x0, y0, x1 - x0, y1 - y0));
}

RgbImage Canvas::Snapshot() const {
    return ToRgbImage(impl_->image);
}

} // namespace platform
