#include "labwindow/events_view.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "labwindow/style.h"

namespace labwindow {

EventPaths::EventPaths(QWidget* parent) : QWidget(parent) {
    setMinimumSize(360, 300);
}

void EventPaths::Show(const channel::Target& target, const channel::ErrorEvent* event) {
    target_ = target;
    shown_ = event != nullptr;
    if (shown_) {
        event_ = *event;
        paths_ = labmodel::PathsOf(target, *event);
    }
    update();
}

void EventPaths::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(palette().windowText().color());
    if (!shown_) {
        p.setFont(ViewFont(13));
        p.drawText(rect(), Qt::AlignCenter, tr("Select an event to see its two paths."));
        return;
    }
    const int nu = target_.Memory();
    const int steps = static_cast<int>(paths_.a.size());
    const QRect area = rect().adjusted(64, 72, -16, -16);
    p.setFont(ViewFont(13, true));
    p.drawText(QRect(8, 4, width() - 16, 20), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
               tr("Event %1: d\u00B2 = sum of (y - y')\u00B2 = %2, %3 raw-bit errors")
                   .arg(QString::fromStdString(channel::EventText(event_)),
                        QString::fromStdString(channel::DistanceText(paths_.d2)))
                   .arg(event_.rawBitErrors));
    p.setFont(ViewFont(11));
    p.drawText(QRect(8, 26, width() - 16, 40), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               tr("Two precoder paths with this difference, from state 0 back to state 0 "
                  "(where the event is 0 both write 0): yellow writes 1 where the event is +, "
                  "blue where it is -."));

    // Top: the two paths on the trellis; bottom: their ideal samples.
    const QRect trellis(area.left(), area.top(), area.width(), area.height() * 11 / 20);
    const QRect samples(area.left(), trellis.bottom() + 24, area.width(),
                        area.bottom() - trellis.bottom() - 24);
    p.fillRect(trellis, kGround);
    p.fillRect(samples, kGround);
    const int states = target_.States();
    const double cell = static_cast<double>(trellis.width()) / steps;
    auto node = [&](int k, int s) {
        return QPointF(trellis.left() + (k + 1) * cell - cell / 2,
                       trellis.top() + (s + 0.5) * trellis.height() / states);
    };
    p.setRenderHint(QPainter::Antialiasing, true);
    auto path = [&](const std::vector<int>& st, const QColor& colour, double width) {
        QPainterPath line;
        line.moveTo(trellis.left(), node(0, 0).y());
        for (int k = 0; k < steps; ++k) line.lineTo(node(k, st[static_cast<std::size_t>(k)]));
        p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(line);
    };
    path(paths_.statesB, kTruePath, 5);
    path(paths_.statesA, kTrace, 2);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(palette().windowText().color());
    p.setFont(ViewFont(10));
    p.drawText(QRect(0, trellis.top(), area.left() - 6, 16), Qt::AlignRight, tr("state 0"));
    p.drawText(QRect(0, trellis.bottom() - 16, area.left() - 6, 16), Qt::AlignRight,
               tr("state %1").arg(states - 1));

    // Samples: y of the first path (yellow) and y' of the second (cyan), each
    // a stem from zero, side by side.
    double extent = 1;
    for (int k = 0; k < steps; ++k)
        extent = std::max({extent, std::fabs(paths_.outputA[static_cast<std::size_t>(k)]),
                           std::fabs(paths_.outputB[static_cast<std::size_t>(k)])});
    auto yOf = [&](double v) {
        return samples.center().y() - v / extent * (samples.height() / 2 - 4);
    };
    p.setPen(QPen(kLevelLine, 1, Qt::DashLine));
    p.drawLine(samples.left(), static_cast<int>(yOf(0)), samples.right(), static_cast<int>(yOf(0)));
    for (int k = 0; k < steps; ++k) {
        const double x = node(k, 0).x();
        const double ya = paths_.outputA[static_cast<std::size_t>(k)];
        const double yb = paths_.outputB[static_cast<std::size_t>(k)];
        p.setPen(QPen(kTrace, 3));
        p.drawLine(QPointF(x - 3, yOf(0)), QPointF(x - 3, yOf(ya)));
        p.setPen(QPen(kTruePath, 3));
        p.drawLine(QPointF(x + 3, yOf(0)), QPointF(x + 3, yOf(yb)));
    }
    p.setPen(palette().windowText().color());
    p.drawText(QRect(0, samples.top(), area.left() - 6, 16), Qt::AlignRight,
               QString::number(extent, 'g', 3));
    p.drawText(QRect(0, samples.bottom() - 16, area.left() - 6, 16), Qt::AlignRight,
               QString::number(-extent, 'g', 3));
    p.drawText(QRect(area.left(), trellis.bottom() + 4, area.width(), 18), Qt::AlignLeft,
               tr("their ideal samples y and y' (bits %1 to %2 differ)")
                   .arg(nu)
                   .arg(nu + static_cast<int>(event_.e.size()) - 1));
}

EventsView::EventsView(QWidget* parent)
    : QWidget(parent), table_(new QTableWidget), paths_(new EventPaths) {
    table_->setColumnCount(3);
    table_->setHorizontalHeaderLabels({tr("d\u00B2"), tr("event"), tr("raw-bit errors")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->setVisible(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setToolTip(tr("The target's error events: squared distance up to twice d\u00B2min, "
                          "length up to 16, as quorvane-lab events lists them"));
    table_->setMinimumWidth(260);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(table_, 2);
    layout->addWidget(paths_, 3);
    connect(table_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { Select(row); });
}

void EventsView::SetTarget(const channel::Target& target) {
    if (!events_.empty() && target.Coefficients() == target_.Coefficients()) return;
    target_ = target;
    events_ = labmodel::EventsTable(target);
    table_->setRowCount(static_cast<int>(events_.size()));
    for (std::size_t i = 0; i < events_.size(); ++i) {
        const channel::ErrorEvent& e = events_[i];
        const int row = static_cast<int>(i);
        table_->setItem(row, 0,
                        new QTableWidgetItem(QString::fromStdString(channel::DistanceText(e.d2))));
        table_->setItem(row, 1,
                        new QTableWidgetItem(QString::fromStdString(channel::EventText(e))));
        table_->setItem(row, 2, new QTableWidgetItem(QString::number(e.rawBitErrors)));
    }
    table_->resizeColumnsToContents();
    Select(events_.empty() ? -1 : 0);
}

void EventsView::Select(int row) {
    if (row >= 0 && row < static_cast<int>(events_.size())) {
        if (table_->currentRow() != row) table_->selectRow(row);
        paths_->Show(target_, &events_[static_cast<std::size_t>(row)]);
    } else {
        paths_->Show(target_, nullptr);
    }
}

} // namespace labwindow
