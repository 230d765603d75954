#include "labwindow/sectors_view.h"

#include <QGridLayout>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPen>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "labwindow/chart_parts.h"
#include "labwindow/style.h"

namespace labwindow {
namespace {

QLineSeries* Series(QChart* chart, const QString& name, const QColor& colour, Qt::PenStyle style,
                    QAbstractAxis* x, QAbstractAxis* y) {
    QLineSeries* s = AddLine(chart, name, colour, style, x, y);
    s->setPointsVisible(true);
    return s;
}

double Ratio(std::uint64_t a, std::uint64_t b) {
    return b == 0 ? 0 : double(a) / double(b);
}

} // namespace

SectorsView::SectorsView(QWidget* parent) : QWidget(parent) {
    status_ = new QLabel;
    status_->setWordWrap(true);
    rates_ = new QChartView(NewChart(tr("Sector failure rate")));
    trace_ = new QChartView(NewChart(tr("One sector through the rounds")));
    for (QChartView* v : {rates_, trace_}) {
        v->setRenderHint(QPainter::Antialiasing, true);
        v->setMinimumSize(240, 220);
    }
    auto* layout = new QGridLayout(this);
    layout->addWidget(status_, 0, 0);
    layout->addWidget(rates_, 1, 0);
    layout->addWidget(trace_, 2, 0);
    layout->setRowStretch(1, 3);
    layout->setRowStretch(2, 2);
}

void SectorsView::SetMessage(const QString& message) {
    status_->setText(message);
}

void SectorsView::SetPicture(std::shared_ptr<const labmodel::SectorPicture> picture,
                             const QString& title) {
    picture_ = std::move(picture);
    const labmodel::SectorPicture& p = *picture_;
    status_->setText(title);
    QChart* r = NewChart(tr("Sector failure rate"));
    auto* rx = new QValueAxis;
    double x0 = p.planned.empty() ? 0 : p.planned.front();
    double x1 = p.planned.empty() ? 1 : p.planned.back();
    if (x1 <= x0) x0 -= 0.5, x1 += 0.5;
    rx->setRange(x0, x1);
    rx->setLabelFormat("%g");
    auto* ry = new QLogValueAxis;
    ry->setBase(10);
    ry->setLabelFormat("%.0e");
    double least = 1;
    for (std::size_t i = 0; i < p.counts.size(); ++i)
        for (double v : {Ratio(p.counts[i].Errors(), p.counts[i].sectors),
                         Ratio(p.counts[i].rsFailed, p.counts[i].sectors),
                         Ratio(p.counts[i].rawErrors, p.counts[i].rawBits)})
            if (v > 0) least = std::min(least, v);
    ry->setRange(std::pow(10.0, std::floor(std::log10(least)) - 1), 1);
    AddAxisTo(r, rx, tr("SNR of the uncoded channel at the user density (dB)"), Qt::AlignBottom);
    AddAxisTo(r, ry, tr("rate"), Qt::AlignLeft);
    const QColor colour = ColourOf(p.detector);
    const QString name = QString::fromUtf8(detectors::KindTitle(p.detector));
    QLineSeries* ldpc = Series(r, tr("%1 + LDPC").arg(name), colour, Qt::SolidLine, rx, ry);
    QLineSeries* rs =
        Series(r, tr("hard detector + RS"), QColor(64, 64, 64), Qt::SolidLine, rx, ry);
    QLineSeries* raw = Series(r, tr("raw BER"), colour, Qt::DashLine, rx, ry);
    for (std::size_t i = 0; i < p.counts.size(); ++i) {
        const engine::SectorCounts& c = p.counts[i];
        if (c.Errors() > 0) ldpc->append(p.snrDb[i], Ratio(c.Errors(), c.sectors));
        if (c.rsFailed > 0) rs->append(p.snrDb[i], Ratio(c.rsFailed, c.sectors));
        if (c.rawErrors > 0) raw->append(p.snrDb[i], Ratio(c.rawErrors, c.rawBits));
    }
    QChart* t = NewChart(tr("One sector through the rounds"));
    int iterations = 1, most = 1;
    for (const std::vector<int>& round : p.trace.wrong) {
        iterations = std::max<int>(iterations, static_cast<int>(round.size()));
        for (int w : round) most = std::max(most, w);
    }
    auto* tx = new QValueAxis;
    tx->setRange(0, iterations - 1);
    tx->setTickCount(std::min(iterations, 11));
    tx->setLabelFormat("%d");
    auto* ty = new QValueAxis;
    ty->setRange(0, most);
    ty->applyNiceNumbers();
    ty->setLabelFormat("%d");
    AddAxisTo(t, tx, tr("local iteration (0: the decoder's input)"), Qt::AlignBottom);
    AddAxisTo(t, ty, tr("wrong bits"), Qt::AlignLeft);
    for (std::size_t g = 0; g < p.trace.wrong.size(); ++g) {
        QLineSeries* s = Series(t, tr("round %1").arg(g + 1),
                                QColor::fromHsv(static_cast<int>(g * 67 % 360), 200, 190),
                                Qt::SolidLine, tx, ty);
        for (std::size_t i = 0; i < p.trace.wrong[g].size(); ++i)
            s->append(static_cast<double>(i), p.trace.wrong[g][i]);
    }
    for (auto [view, chart] : {std::pair{rates_, r}, {trace_, t}}) {
        QChart* old = view->chart();
        view->setChart(chart);
        delete old;
    }
}

} // namespace labwindow
