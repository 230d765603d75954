#pragma once
// The pieces the chart views build their charts of: a chart in the views'
// style, an axis added to it, a line series on two of its axes.
#include <QAbstractAxis>
#include <QChart>
#include <QLineSeries>
#include <QString>

namespace labwindow {

QChart* NewChart(const QString& title);
// Titles the axis, sets its fonts and adds it to the chart at `where`.
QAbstractAxis* AddAxisTo(QChart* chart, QAbstractAxis* axis, const QString& title,
                         Qt::Alignment where);
// A line two pixels wide in `colour` and `style`, on axes x and y.
QLineSeries* AddLine(QChart* chart, const QString& name, const QColor& colour, Qt::PenStyle style,
                     QAbstractAxis* x, QAbstractAxis* y);

} // namespace labwindow
