#include "labwindow/chart_parts.h"

#include <QPen>

#include "labwindow/style.h"

namespace labwindow {

QChart* NewChart(const QString& title) {
    auto* chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setTitle(title);
    chart->setTitleFont(ViewFont(13, true));
    chart->legend()->setFont(ViewFont(10));
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QAbstractAxis* AddAxisTo(QChart* chart, QAbstractAxis* axis, const QString& title,
                         Qt::Alignment where) {
    axis->setTitleText(title);
    axis->setLabelsFont(ViewFont(10));
    axis->setTitleFont(ViewFont(11));
    chart->addAxis(axis, where);
    return axis;
}

QLineSeries* AddLine(QChart* chart, const QString& name, const QColor& colour, Qt::PenStyle style,
                     QAbstractAxis* x, QAbstractAxis* y) {
    auto* s = new QLineSeries;
    s->setName(name);
    QPen pen(colour, 2);
    pen.setStyle(style);
    s->setPen(pen);
    chart->addSeries(s);
    s->attachAxis(x);
    s->attachAxis(y);
    return s;
}

} // namespace labwindow
