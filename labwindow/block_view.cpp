#include "labwindow/block_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "labwindow/style.h"

namespace labwindow {
namespace {

constexpr int kMargin = 6;
constexpr int kLeft = 64;  // level labels, strip names
constexpr int kRight = 76; // error counts
constexpr int kTitle = 20;
constexpr int kNote = 16;
constexpr int kLegend = 18;
constexpr int kRow = 20;
constexpr double kMinCell = 12;

QString ErrorsText(int n) {
    return n == 1 ? QStringLiteral("1 error") : QStringLiteral("%1 errors").arg(n);
}

} // namespace

BlockView::BlockView(QWidget* parent) : AlongView(kMargin, parent) {
    setMouseTracking(true);
}

void BlockView::SetBlock(std::shared_ptr<const labmodel::BlockView> block) {
    block_ = std::move(block);
    UpdateScrollBar();
    hover_ = -1;
    update();
}

int BlockView::Count() const {
    return block_ ? block_->bits + block_->tail : 0;
}

int BlockView::Visible() const {
    const Layout l = Compute();
    const int fit = std::max(1, static_cast<int>(l.plot.width() / kMinCell));
    return std::min(Count(), fit);
}

QStringList BlockView::Notes() const {
    QStringList lines;
    if (!block_) return lines;
    const labmodel::BlockView& b = *block_;
    if (!b.code.empty()) {
        QString line =
            tr("User-bit errors after the %1 decoder:").arg(QString::fromStdString(b.code));
        for (std::size_t d = 0; d < b.kinds.size(); ++d)
            line += tr(" %1 %2%3")
                        .arg(detectors::KindTitle(b.kinds[d]))
                        .arg(b.userErrors[d])
                        .arg(d + 1 < b.kinds.size() ? "," : "");
        line += tr(" (%1 user bits of the %2 drawn, in %3 coded bits: the strips and their counts)")
                    .arg(b.user.size())
                    .arg(b.drawn)
                    .arg(b.bits);
        lines << line;
    }
    if (b.timed)
        lines
            << tr("Rings: the Timing tab's read of the block (rms timing error %1, %2); traces and "
                  "detectors at the ideal instants")
                   .arg(b.timingRms, 0, 'g', 3)
                   .arg(b.slips == 1 ? tr("1 slip") : tr("%1 slips").arg(b.slips));
    return lines;
}

BlockView::Layout BlockView::Compute() const {
    Layout l;
    const int rows = 1 + (block_ ? static_cast<int>(block_->kinds.size()) : 2);
    const int w = width() - 2 * kMargin;
    int y = kMargin;
    l.title = QRect(kMargin, y, w, kTitle);
    y += kTitle;
    const int notes = static_cast<int>(Notes().size());
    l.notes = QRect(kMargin, y, w, notes * kNote);
    y += notes * kNote;
    l.legend = QRect(kMargin, y, w, kLegend);
    y += kLegend + 4;
    const int bottom = height() - kMargin - ScrollBarHeight(4);
    l.rowHeight = kRow;
    const int stripsTop = bottom - rows * kRow;
    l.strips = QRect(kMargin + kLeft, stripsTop, w - kLeft - kRight, rows * kRow);
    l.plot = QRect(kMargin + kLeft, y, w - kLeft - kRight, std::max(40, stripsTop - 6 - y));
    const int shown =
        block_ ? std::min(Count(), std::max(1, static_cast<int>(l.plot.width() / kMinCell))) : 40;
    l.cell = static_cast<double>(l.plot.width()) / std::max(1, shown);
    return l;
}

double BlockView::X(const Layout& l, double t) const {
    return l.plot.left() + (t - Start() + 0.5) * l.cell;
}

double BlockView::Y(const Layout& l, double v) const {
    const double low = block_->plotLow, high = block_->plotHigh;
    return l.plot.top() + (high - v) / (high - low) * (l.plot.height() - 1);
}

QRect BlockView::CellRect(int row, int k) const {
    return CellIn(Compute(), row, k);
}

QRect BlockView::CellIn(const Layout& l, int row, int k) const {
    const int x0 = static_cast<int>(std::lround(X(l, k - 0.5)));
    const int x1 = static_cast<int>(std::lround(X(l, k + 0.5)));
    return QRect(x0, l.strips.top() + row * l.rowHeight, x1 - x0, l.rowHeight - 2);
}

int BlockView::SampleAt(int x) const {
    if (!block_) return -1;
    const Layout l = Compute();
    if (x < l.plot.left() || x >= l.plot.right()) return -1;
    const int k = Start() + static_cast<int>((x - l.plot.left()) / l.cell);
    return k < Count() ? k : -1;
}

void BlockView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!block_) {
        p.setFont(ViewFont(13));
        p.drawText(rect(), Qt::AlignCenter, tr("Press Space for the first block."));
        return;
    }
    const labmodel::BlockView& b = *block_;
    const Layout l = Compute();

    // On a head the channel joins the title; where the whole does not fit,
    // "of the window's sequence" goes first, then the end is elided.
    auto titleOf = [&](bool sequence) {
        QString t = sequence ? tr("Block %1 of the window's sequence").arg(b.run)
                             : tr("Block %1").arg(b.run);
        if (b.renoised > 0) t += tr(", new noise %1").arg(b.renoised);
        t += tr(", %1 bits, %2, SNR %3 dB (sigma %4)")
                 .arg(b.bits)
                 .arg(QString::fromStdString(b.targetName))
                 .arg(b.snrDb, 0, 'f', 1)
                 .arg(b.sigma, 0, 'g', 3);
        if (b.head) t += tr(", %1").arg(QString::fromStdString(b.channelText));
        return t;
    };
    p.setPen(palette().windowText().color());
    p.setFont(ViewFont(13, true));
    QString title = titleOf(true);
    if (p.fontMetrics().horizontalAdvance(title) > l.title.width()) title = titleOf(false);
    title = p.fontMetrics().elidedText(title, Qt::ElideRight, l.title.width());
    p.drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter, title);
    const QStringList notes = Notes();
    if (!notes.isEmpty()) {
        p.setFont(ViewFont(11));
        for (int i = 0; i < notes.size(); ++i)
            p.drawText(QRect(l.notes.left(), l.notes.top() + i * kNote, l.notes.width(), kNote),
                       Qt::AlignLeft | Qt::AlignVCenter,
                       p.fontMetrics().elidedText(notes[i], Qt::ElideRight, l.notes.width()));
    }

    // The legend: a short stroke or ring of each thing drawn.
    p.setFont(ViewFont(11));
    int x = l.legend.left() + kLeft;
    const int cy = l.legend.center().y();
    auto swatch = [&](const QColor& colour, const QString& text, bool ring) {
        p.fillRect(QRect(x, l.legend.top(), 30, l.legend.height()), kGround);
        p.setPen(QPen(colour, 2));
        if (ring)
            p.drawEllipse(QPoint(x + 15, cy), 3, 3);
        else
            p.drawLine(x + 4, cy, x + 26, cy);
        p.setPen(palette().windowText().color());
        const QRect text_(x + 34, l.legend.top(), 200, l.legend.height());
        QRect used;
        p.drawText(text_, Qt::AlignLeft | Qt::AlignVCenter, text, &used);
        x = used.right() + 16;
    };
    if (b.head) {
        swatch(kTrace, tr("head readback, no jitter"), false);
        swatch(kNoisyTrace, tr("with jitter and noise"), false);
        swatch(kSampleRing,
               b.timed ? tr("readback read at k + tau - theta")
                       : tr("readback samples (to the equalizer)"),
               true);
    } else {
        swatch(kTrace, tr("clean waveform"), false);
        swatch(kNoisyTrace, tr("with the noise"), false);
        swatch(kSampleRing,
               b.timed ? tr("samples read at k + tau - theta") : tr("received samples"), true);
    }

    PaintPlot(p, l);
    PaintStrips(p, l);
}

void BlockView::PaintPlot(QPainter& p, const Layout& l) {
    const labmodel::BlockView& b = *block_;
    const int visible =
        std::min(Count() - Start(), static_cast<int>(std::round(l.plot.width() / l.cell)));
    p.save();
    p.fillRect(l.plot, kGround);
    p.setClipRect(l.plot);

    // Vertical grid: a fine line at every sampling instant, a bright one
    // every ten bits.
    for (int k = Start(); k < Start() + visible; ++k) {
        p.setPen(QPen(k % 10 == 0 ? kCoarseGrid : kFineGrid, 1));
        const int gx = static_cast<int>(std::lround(X(l, k)));
        p.drawLine(gx, l.plot.top(), gx, l.plot.bottom());
    }
    // Levels: the outermost solid cyan, the others dashed grey (on a head
    // the readback's range and 0).
    const std::vector<float>& levels = b.gridLines;
    const bool many = levels.size() > 40;
    for (std::size_t i = 0; i < levels.size() && !many; ++i) {
        const bool limit = i == 0 || i + 1 == levels.size();
        QPen pen(limit ? kLimitLine : kLevelLine, 1);
        if (!limit) pen.setDashPattern({4, 4});
        p.setPen(pen);
        const int gy = static_cast<int>(std::lround(Y(l, levels[i])));
        p.drawLine(l.plot.left(), gy, l.plot.right(), gy);
    }
    // The tail: the samples after the data bits.
    if (b.tail > 0) {
        const int tx = static_cast<int>(std::lround(X(l, b.bits - 0.5)));
        p.setPen(QPen(kLevelLine, 1, Qt::DotLine));
        p.drawLine(tx, l.plot.top(), tx, l.plot.bottom());
        p.setFont(ViewFont(10));
        const QRect label(tx + 3, l.plot.top() + 2, 26, 14);
        p.fillRect(label, kGround);
        p.setPen(QColor(200, 200, 200));
        p.drawText(label, Qt::AlignCenter, tr("tail"));
    }

    p.setRenderHint(QPainter::Antialiasing, true);
    // A polyline with a cosmetic pen: the rasterizer's fast path.
    auto trace = [&](const std::vector<float>& wave, const QColor& colour, double width) {
        QPolygonF line;
        const double from = Start() - 0.6, to = Start() + visible - 0.4;
        for (std::size_t j = 0; j < wave.size(); ++j) {
            const double t = (b.firstTenth + static_cast<int>(j)) / 10.0;
            if (t >= from && t <= to) line << QPointF(X(l, t), Y(l, wave[j]));
        }
        QPen pen(colour, width);
        pen.setCosmetic(true);
        p.setPen(pen);
        p.drawPolyline(line);
    };
    trace(b.noisyWave, kNoisyTrace, 1.0);
    trace(b.cleanWave, kTrace, 1);
    for (int k = Start(); k < Start() + visible; ++k) {
        const QPointF c(X(l, b.RingTime(k)), Y(l, b.RingValue(k)));
        p.setPen(QPen(kSampleRing, k == hover_ ? 2.0 : 1.2));
        const double r = k == hover_ ? 5 : 3;
        p.drawEllipse(c, r, r);
    }
    p.restore();

    // Level labels left of the plot, as many as fit.
    p.setFont(ViewFont(10));
    p.setPen(palette().windowText().color());
    const double spacing = levels.size() > 1
                               ? (Y(l, levels.front()) - Y(l, levels.back())) / (levels.size() - 1)
                               : 100;
    const int every = spacing >= 12 ? 1 : spacing >= 6 ? 2 : 4;
    for (std::size_t i = 0; i < levels.size() && !many; i += static_cast<std::size_t>(every)) {
        const int gy = static_cast<int>(std::lround(Y(l, levels[i])));
        p.drawText(QRect(l.plot.left() - kLeft, gy - 8, kLeft - 6, 16),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(levels[i], 'g', 3));
    }
}

void BlockView::PaintStrips(QPainter& p, const Layout& l) {
    const labmodel::BlockView& b = *block_;
    const int visible =
        std::min(Count() - Start(), static_cast<int>(std::round(l.plot.width() / l.cell)));
    const int rows = 1 + static_cast<int>(b.kinds.size());
    const int digitPixels = std::clamp(static_cast<int>(l.cell) - 2, 9, 15);
    for (int row = 0; row < rows; ++row) {
        const int top = l.strips.top() + row * l.rowHeight;
        p.setFont(ViewFont(11, row == 0));
        p.setPen(palette().windowText().color());
        const QString name = row == 0 ? (b.code.empty() ? tr("raw bits") : tr("coded"))
                                      : QString::fromUtf8(detectors::KindTitle(
                                            b.kinds[static_cast<std::size_t>(row - 1)]));
        p.drawText(QRect(l.strips.left() - kLeft, top, kLeft - 6, l.rowHeight - 2),
                   Qt::AlignRight | Qt::AlignVCenter, name);
        const QString count = row == 0 ? tr("%1 bits").arg(b.bits)
                                       : ErrorsText(b.errors[static_cast<std::size_t>(row - 1)]);
        p.drawText(QRect(l.strips.right() + 8, top, kRight - 8, l.rowHeight - 2),
                   Qt::AlignLeft | Qt::AlignVCenter, count);

        p.setFont(StripFont(digitPixels));
        for (int k = Start(); k < Start() + visible; ++k) {
            const QRect cell = CellIn(l, row, k);
            QString digit = QStringLiteral("\u00B7"); // the tail has no bits
            bool wrong = false;
            if (k < b.bits) {
                const std::uint8_t bit =
                    row == 0
                        ? b.raw[static_cast<std::size_t>(k)]
                        : b.decided[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(k)];
                digit = QString::number(bit);
                wrong = row > 0 && b.Wrong(static_cast<std::size_t>(row - 1), k);
            }
            if (wrong) {
                p.fillRect(cell.adjusted(1, 0, -1, 0), kWrong);
            } else if (row > 0 && k < b.bits) {
                // A soft detector's doubt: the smaller |L|, the stronger the shade.
                const std::vector<float>& llr = b.llr[static_cast<std::size_t>(row - 1)];
                if (!llr.empty())
                    p.fillRect(cell.adjusted(1, 0, -1, 0),
                               DoubtShade(llr[static_cast<std::size_t>(k)]));
            }
            p.setPen(wrong ? QColor(Qt::white) : palette().windowText().color());
            p.drawText(cell, Qt::AlignCenter, digit);
        }
    }
}

void BlockView::mouseMoveEvent(QMouseEvent* event) {
    const int k = SampleAt(static_cast<int>(event->position().x()));
    if (k != hover_) {
        hover_ = k;
        update();
    }
    if (k >= 0)
        QToolTip::showText(event->globalPosition().toPoint(),
                           QString::fromStdString(labmodel::HoverText(*block_, k)), this);
    else
        QToolTip::hideText();
}

void BlockView::leaveEvent(QEvent*) {
    hover_ = -1;
    update();
}

} // namespace labwindow
