#include "labwindow/trellis_view.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "labwindow/style.h"

namespace labwindow {
namespace {

constexpr int kMargin = 6;
constexpr int kLeft = 64; // state labels
constexpr int kRight = 12;
constexpr int kTitle = 20;
constexpr int kLegend = 18;
constexpr int kNoteLine = 16;
constexpr int kNotes = 4; // lines of events below the trellis
constexpr double kMinCell = 12;

QString StateText(int s, int memory) {
    QString text;
    for (int b = memory - 1; b >= 0; --b) text += QChar((s >> b) & 1 ? '1' : '0');
    return text;
}

} // namespace

QString EventLine(const labmodel::PathEvent& ev) {
    const QString event = QString::fromStdString(channel::EventText(ev.event));
    QString line = ev.first == ev.last ? QObject::tr("bit %1: ").arg(ev.first)
                                       : QObject::tr("bits %1-%2: ").arg(ev.first).arg(ev.last);
    line += QObject::tr("event %1, d\u00B2 %2, %3 raw-bit error%4")
                .arg(event, QString::fromStdString(channel::DistanceText(ev.event.d2)))
                .arg(ev.rawErrors)
                .arg(ev.rawErrors == 1 ? "" : "s");
    if (ev.negated) {
        // The table lists each event once, starting with +; this one ran the
        // other way.
        QString difference;
        for (QChar c : event) difference += c == '+' ? '-' : c == '-' ? '+' : c;
        line += QObject::tr(" (decided minus true: %1)").arg(difference);
    }
    line += ev.tableRow >= 0 ? QObject::tr("; row %1 of the events table").arg(ev.tableRow + 1)
                             : QObject::tr("; beyond the events table");
    if (ev.rawErrors != ev.event.rawBitErrors)
        line +=
            QObject::tr(" (the table counts %1 over the whole event)").arg(ev.event.rawBitErrors);
    return line;
}

TrellisView::TrellisView(QWidget* parent) : AlongView(kMargin, parent) {}

void TrellisView::SetBlock(std::shared_ptr<const labmodel::BlockView> block) {
    block_ = std::move(block);
    UpdateScrollBar();
    update();
}

int TrellisView::Count() const {
    return block_ ? block_->trellis.steps : 0;
}

int TrellisView::Visible() const {
    const Layout l = Compute();
    return std::min(Count(), std::max(1, static_cast<int>(l.plot.width() / kMinCell)));
}

TrellisView::Layout TrellisView::Compute() const {
    Layout l;
    const int w = width() - 2 * kMargin;
    int y = kMargin;
    l.title = QRect(kMargin, y, w, kTitle);
    y += kTitle;
    l.legend = QRect(kMargin, y, w, kLegend);
    y += kLegend + 6;
    const int bottom = height() - kMargin - ScrollBarHeight(4);
    l.notes = QRect(kMargin, bottom - kNotes * kNoteLine, w, kNotes * kNoteLine);
    l.plot = QRect(kMargin + kLeft, y, w - kLeft - kRight, std::max(40, l.notes.top() - 8 - y));
    const int steps = Count();
    const int shown =
        steps > 0 ? std::min(steps, std::max(1, static_cast<int>(l.plot.width() / kMinCell))) : 1;
    l.cell = static_cast<double>(l.plot.width()) / shown;
    l.row = block_ ? static_cast<double>(l.plot.height()) / block_->trellis.states : 1;
    return l;
}

QPointF TrellisView::NodeIn(const Layout& l, int k, int s) const {
    return {l.plot.left() + (k - Start() + 1) * l.cell, l.plot.top() + (s + 0.5) * l.row};
}

QPointF TrellisView::Node(int k, int s) const {
    return NodeIn(Compute(), k, s);
}

void TrellisView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!block_) {
        p.setFont(ViewFont(13));
        p.drawText(rect(), Qt::AlignCenter, tr("Press Space for the first block."));
        return;
    }
    const labmodel::TrellisView& t = block_->trellis;
    const Layout l = Compute();
    const int visible =
        std::min(Count() - Start(), static_cast<int>(std::round(l.plot.width() / l.cell)));

    p.setPen(palette().windowText().color());
    p.setFont(ViewFont(13, true));
    // Under a code the survivors drawn are the target's under the NRZI
    // precoder, without the branches the code removes: say so rather than
    // pass them off as the constrained detector's.
    const QString title =
        block_->code.empty()
            ? tr("Trellis of the Viterbi detector, block %1: %2 states (the last %3 precoder "
                 "bits, newest first)")
                  .arg(block_->run)
                  .arg(t.states)
                  .arg(t.memory)
            : tr("Trellis of block %1 without the %2 code's constraint: %3 states (the last "
                 "%4 precoder bits)")
                  .arg(block_->run)
                  .arg(QString::fromStdString(block_->code))
                  .arg(t.states)
                  .arg(t.memory);
    p.drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter,
               block_->code.empty()
                   ? title
                   : p.fontMetrics().elidedText(title, Qt::ElideRight, l.title.width()));
    p.setFont(ViewFont(11));
    int x = l.legend.left() + kLeft;
    const int cy = l.legend.center().y();
    auto swatch = [&](const QColor& colour, double width, const QString& text) {
        p.fillRect(QRect(x, l.legend.top(), 30, l.legend.height()), kGround);
        p.setPen(QPen(colour, width));
        p.drawLine(x + 4, cy, x + 26, cy);
        p.setPen(palette().windowText().color());
        QRect used;
        p.drawText(QRect(x + 34, l.legend.top(), 260, l.legend.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, text, &used);
        x = used.right() + 16;
    };
    swatch(kTrace, 2, tr("decided path"));
    swatch(kTruePath, 4, tr("true path"));
    swatch(kSurvivor, 1, tr("survivors"));
    p.fillRect(QRect(x, l.legend.top(), 30, l.legend.height()), kEventBand);
    p.drawText(QRect(x + 34, l.legend.top(), 200, l.legend.height()),
               Qt::AlignLeft | Qt::AlignVCenter, tr("error event"));

    p.save();
    p.fillRect(l.plot, kGround);
    p.setClipRect(l.plot.adjusted(-2, -2, 2, 2));
    const int first = Start(), last = Start() + visible - 1; // samples shown
    // Event bands: from the node where the paths part to the one where they meet.
    for (const labmodel::PathEvent& ev : t.events) {
        const double x0 = NodeIn(l, ev.first - 1, 0).x();
        const double x1 = NodeIn(l, std::min(ev.last + t.memory, t.steps - 1), 0).x();
        if (x1 < l.plot.left() || x0 > l.plot.right()) continue;
        p.fillRect(QRectF(x0, l.plot.top(), x1 - x0, l.plot.height()), kEventBand);
    }
    // Every state's survivor: the branch into it at each step. Thousands
    // of thin lines, so in one call and without anti-aliasing.
    QList<QLineF> branches;
    for (int k = std::max(first, 0); k <= last; ++k) {
        // Before sample nu - 1 the oldest bits of a state are the zero
        // history: other states are not reached yet.
        const int unreached = k < t.memory - 1 ? (1 << (t.memory - 1 - k)) - 1 : 0;
        for (int s = 0; s < t.states; ++s) {
            if ((s & unreached) != 0) continue;
            branches.append({NodeIn(l, k - 1, t.survivors.From(t.graph, k, s)), NodeIn(l, k, s)});
        }
    }
    p.setPen(QPen(kSurvivor, 0));
    p.drawLines(branches);
    // A path as separate strokes with round ends: stroking it as one line
    // with joins costs the rasterizer the whole zig-zag's area.
    auto path = [&](const std::vector<int>& states, const QColor& colour, double width) {
        QList<QLineF> segments;
        QPointF from =
            NodeIn(l, first - 1, first == 0 ? 0 : states[static_cast<std::size_t>(first - 1)]);
        for (int k = first; k <= last; ++k) {
            const QPointF to = NodeIn(l, k, states[static_cast<std::size_t>(k)]);
            segments.append({from, to});
            from = to;
        }
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
        for (const QLineF& segment : segments) p.drawLine(segment);
    };
    // Anti-aliased wide strokes cost far more than plain ones: the wide
    // true path is drawn plain, the decided one smooth while few steps show.
    path(t.truth, kTruePath, 5);
    p.setRenderHint(QPainter::Antialiasing, visible <= 64);
    path(t.survivors.path, kTrace, 2);
    p.restore();

    // State labels, as many as fit.
    p.setFont(StripFont(std::clamp(static_cast<int>(l.row) - 1, 8, 12)));
    p.setPen(palette().windowText().color());
    const int every = l.row >= 9 ? 1 : l.row >= 4.5 ? 2 : 4;
    for (int s = 0; s < t.states; s += every) {
        const QPointF n = NodeIn(l, -1, s);
        p.drawText(QRectF(l.plot.left() - kLeft, n.y() - 8, kLeft - 6, 16),
                   Qt::AlignRight | Qt::AlignVCenter, StateText(s, t.memory));
    }
    // Sample numbers along the bottom, every fifth.
    p.setFont(ViewFont(10));
    for (int k = first; k <= last; ++k) {
        if (k % 5 != 0 && k != t.bits) continue;
        const QPointF n = NodeIn(l, k, t.states - 1);
        p.drawText(QRectF(n.x() - 20, l.plot.bottom() + 1, 40, 12), Qt::AlignCenter,
                   k == t.bits ? tr("tail") : QString::number(k));
    }

    p.setFont(ViewFont(11));
    // The events in the stretch shown; the others are a scroll away.
    QStringList lines;
    int elsewhere = 0;
    for (const labmodel::PathEvent& ev : t.events) {
        if (ev.last + t.memory < first || ev.first > last)
            ++elsewhere;
        else
            lines << EventLine(ev);
    }
    if (t.events.empty()) {
        lines << tr("The decided path is the true path: no error event in this block.");
    } else if (lines.isEmpty()) {
        lines << tr("No error event here; %1 elsewhere in the block (the scroll bar moves along).")
                     .arg(elsewhere);
    } else {
        // One line is kept for what does not fit.
        int more = elsewhere;
        if (lines.size() > kNotes || (lines.size() == kNotes && more > 0)) {
            more += static_cast<int>(lines.size()) - (kNotes - 1);
            lines = lines.mid(0, kNotes - 1);
        }
        if (more > 0) lines << tr("... and %1 more in the block").arg(more);
    }
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(QRect(l.notes.left() + kLeft, l.notes.top() + i * kNoteLine,
                         l.notes.width() - kLeft, kNoteLine),
                   Qt::AlignLeft | Qt::AlignVCenter, lines[i]);
}

} // namespace labwindow
