#include "labwindow/eye_view.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "engine/eye_shading.h"
#include "labwindow/style.h"

namespace labwindow {
namespace {

using M = engine::EyeMargins;

} // namespace

QImage EyeImageOf(const labmodel::EyeFrame& frame) {
    static const std::array<engine::Rgb, 256> palette = engine::EyePalette();
    const engine::EyeGeometry& g = frame.image.geometry;
    QImage image(g.width, g.height, QImage::Format_RGB32);
    for (int row = 0; row < g.height; ++row) {
        const std::uint8_t* from =
            frame.indices.data() + static_cast<std::size_t>(g.height - 1 - row) * g.width;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
        for (int x = 0; x < g.width; ++x) line[x] = 0xFF000000u | palette[from[x]];
    }
    return image;
}

EyeView::EyeView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(M::left + M::right + 200, M::top + M::bottom + 160);
}

QSize EyeView::RasterPixels() const {
    const double dpr = devicePixelRatioF();
    return {static_cast<int>((width() - M::left - M::right) * dpr),
            static_cast<int>((height() - M::top - M::bottom) * dpr)};
}

void EyeView::SetFrame(std::shared_ptr<const labmodel::EyeFrame> frame, QImage image,
                       const QString& title) {
    frame_ = std::move(frame);
    image_ = std::move(image);
    image_.setDevicePixelRatio(devicePixelRatioF());
    title_ = title;
    message_.clear();
    update();
}

void EyeView::SetMessage(const QString& message) {
    message_ = message;
    frame_.reset();
    update();
}

void EyeView::resizeEvent(QResizeEvent*) {
    emit resized();
}

QPointF EyeView::RasterPoint(double x, double y) const {
    const double dpr = devicePixelRatioF();
    const int h = frame_ ? frame_->image.geometry.height : 0;
    return {M::left + (x + 0.5) / dpr, M::top + (h - 1 - y + 0.5) / dpr};
}

void EyeView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(palette().windowText().color());
    if (!frame_) {
        p.setFont(ViewFont(13));
        p.drawText(rect(), Qt::AlignCenter,
                   message_.isEmpty() ? tr("Drawing the eye...") : message_);
        return;
    }
    const labmodel::EyeFrame& f = *frame_;
    const engine::EyeGeometry& g = f.image.geometry;
    const double dpr = devicePixelRatioF();
    p.drawImage(QPointF(M::left, M::top), image_);

    p.setFont(ViewFont(13, true));
    p.drawText(QRect(0, 2, width(), 18), Qt::AlignHCenter | Qt::AlignVCenter, title_);
    p.setFont(ViewFont(11));
    QString status = tr("%1 of %2 blocks").arg(f.image.blocks).arg(f.goal);
    if (f.openings.smallest >= 0) {
        const engine::EyeOpening& o =
            f.openings.gaps[static_cast<std::size_t>(f.openings.smallest)];
        const auto closed =
            std::count_if(f.openings.gaps.begin(), f.openings.gaps.end(),
                          [](const engine::EyeOpening& g) { return g.height == 0; });
        if (closed > 0)
            status += tr("; the eye is closed at the sampling instant (%1 of %2 openings shut)")
                          .arg(closed)
                          .arg(f.openings.gaps.size());
        else
            status += tr("; eye height at the sampling instant %1 levels (the smallest opening, "
                         "between %2 and %3)")
                          .arg(o.height, 0, 'f', 2)
                          .arg(o.low)
                          .arg(o.high);
    }
    p.drawText(QRect(0, 20, width(), 16), Qt::AlignHCenter | Qt::AlignVCenter, status);

    // Levels on the left, time below.
    const double bottomY = M::top + g.height / dpr;
    p.setFont(ViewFont(11));
    const int every = g.levelStep / dpr >= 14 ? 1 : g.levelStep / dpr >= 7 ? 2 : 3;
    for (int level = static_cast<int>(std::ceil(g.low)); level <= g.high; ++level) {
        const double y = RasterPoint(0, g.LevelRow(level)).y();
        p.drawLine(QPointF(M::left - 5, y), QPointF(M::left - 1, y));
        if (level % every == 0)
            p.drawText(QRectF(0, y - 8, M::left - 8, 16), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(level));
    }
    for (int h = -g.uis; h <= g.uis; ++h) {
        const double x = RasterPoint(g.PointColumn(5 * g.uis + 5 * h), 0).x();
        p.drawLine(QPointF(x, bottomY + 1), QPointF(x, bottomY + 5));
        if (g.uis <= 4 || h % 2 == 0)
            p.drawText(QRectF(x - 20, bottomY + 6, 40, 14), Qt::AlignCenter,
                       QString::number(h / 2.0));
    }
    p.drawText(QRectF(M::left, bottomY + 22, g.width / dpr, 16), Qt::AlignCenter,
               tr("time from the sampling instant (bit periods)"));

    // An equalized head's eye: a dotted line at each of the target's levels.
    if (!f.levelLines.empty()) {
        QPen dots(QColor(144, 144, 144), 1, Qt::DotLine);
        p.setPen(dots);
        for (float level : f.levelLines) {
            const int row = g.ValueRow(level);
            if (row < 0 || row >= g.height) continue;
            const double y = RasterPoint(0, row).y();
            p.drawLine(QPointF(M::left, y), QPointF(M::left + g.width / dpr - 1, y));
        }
    }

    // The openings: an I-beam beside the middle sampling instant, the
    // smallest white.
    for (std::size_t i = 0; i < f.openings.gaps.size(); ++i) {
        const engine::EyeOpening& o = f.openings.gaps[i];
        if (o.height == 0) continue;
        p.setPen(QPen(static_cast<int>(i) == f.openings.smallest ? QColor(255, 255, 255)
                                                                 : QColor(176, 176, 176),
                      1));
        const QPointF top = RasterPoint(f.openings.column + 3 * dpr, o.topRow);
        const QPointF bottom = RasterPoint(f.openings.column + 3 * dpr, o.bottomRow);
        p.drawLine(top, bottom);
        p.drawLine(top - QPointF(2, 0), top + QPointF(2, 0));
        p.drawLine(bottom - QPointF(2, 0), bottom + QPointF(2, 0));
    }

    // The colour bar: 0 hits at the bottom, the scale's full count at the top.
    static const std::array<engine::Rgb, 256> colours = engine::EyePalette();
    const double barX = M::left + g.width / dpr + 12;
    const double barH = g.height / dpr;
    for (int r = 0; r < static_cast<int>(barH); ++r) {
        const int index = 1 + static_cast<int>(std::lround(254.0 * r / std::max(1.0, barH - 1)));
        p.fillRect(QRectF(barX, M::top + barH - 1 - r, 12, 1),
                   QColor::fromRgb(colours[static_cast<std::size_t>(index)]));
    }
    p.setPen(palette().windowText().color());
    p.drawText(QPointF(barX, M::top - 4), tr("hits"));
    double last = 1e9;
    for (std::uint32_t hits : engine::ScaleTicks(f.scale)) {
        const double y = M::top + barH - 1 - hits / static_cast<double>(f.scale.full) * (barH - 1);
        if (last - y < 16) continue;
        last = y;
        p.drawLine(QPointF(barX + 12, y), QPointF(barX + 15, y));
        p.drawText(QRectF(barX + 18, y - 8, M::right - 30, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QString::number(hits));
    }
}

} // namespace labwindow
