#include "labwindow/soft_view.h"

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

using Stats = engine::LlrStatistics;

template <typename Axis>
Axis* AddAxis(QChart* chart, const QString& title, double lo, double hi, Qt::Alignment where) {
    auto* axis = new Axis;
    axis->setRange(lo, hi);
    if constexpr (std::is_same_v<Axis, QLogValueAxis>) {
        axis->setBase(10);
        axis->setLabelFormat("%.0e");
        axis->setMinorTickCount(8);
    } else {
        axis->setLabelFormat("%g");
    }
    AddAxisTo(chart, axis, title, where);
    return axis;
}

} // namespace

SoftView::SoftView(QWidget* parent) : QWidget(parent) {
    status_ = new QLabel;
    status_->setWordWrap(true);
    histograms_ = new QChartView(NewChart(tr("Ratios given the bit")));
    reliability_ = new QChartView(NewChart(tr("Reliability")));
    transfer_ = new QChartView(NewChart(tr("Extrinsic information transfer")));
    for (QChartView* v : {histograms_, reliability_, transfer_}) {
        v->setRenderHint(QPainter::Antialiasing, true);
        v->setMinimumSize(240, 220);
    }
    auto* layout = new QGridLayout(this);
    layout->addWidget(status_, 0, 0, 1, 2);
    layout->addWidget(histograms_, 1, 0);
    layout->addWidget(reliability_, 1, 1);
    layout->addWidget(transfer_, 2, 0, 1, 2);
    layout->setRowStretch(1, 1);
    layout->setRowStretch(2, 1);
    SetMessage(tr("Tick a soft detector in the panel to see what its ratios are worth."));
}

void SoftView::SetMessage(const QString& message) {
    status_->setText(message);
}

void SoftView::SetPicture(std::shared_ptr<const labmodel::SoftPicture> picture,
                          const QString& title) {
    picture_ = std::move(picture);
    const labmodel::SoftPicture& p = *picture_;
    status_->setText(title);
    QChart* h = NewChart(tr("Ratios given the bit"));
    QChart* r = NewChart(tr("Reliability"));
    QChart* t = NewChart(tr("Extrinsic information transfer"));
    double span = 1, top = 1e-3, bottom = 1, least = 0.5;
    for (const Stats& s : p.ratios.statistics)
        for (int b = 0; b < 2; ++b) {
            std::uint64_t total = 0;
            for (std::uint64_t c : s.counts[b]) total += c;
            for (int i = 1; i + 1 < Stats::kBins && total > 0; ++i)
                if (s.counts[b][i] > 0) {
                    const double d = double(s.counts[b][i]) / double(total) / Stats::kBin;
                    span = std::max(span, std::ceil(std::fabs(Stats::Middle(i))));
                    top = std::max(top, d);
                    bottom = std::min(bottom, d);
                }
        }
    auto* hx = AddAxis<QValueAxis>(h, tr("L"), -span, span, Qt::AlignBottom);
    auto* hy =
        AddAxis<QLogValueAxis>(h, tr("density"), std::pow(10.0, std::floor(std::log10(bottom))),
                               std::pow(10.0, std::ceil(std::log10(top))), Qt::AlignLeft);
    for (std::size_t d = 0; d < p.ratios.kinds.size(); ++d) {
        const Stats& s = p.ratios.statistics[d];
        const QString name = QString::fromUtf8(detectors::KindTitle(p.ratios.kinds[d]));
        const QColor colour = ColourOf(p.ratios.kinds[d]);
        for (int b = 0; b < 2; ++b) {
            std::uint64_t total = 0;
            for (std::uint64_t c : s.counts[b]) total += c;
            QLineSeries* series = AddLine(h, tr("%1, bit %2").arg(name).arg(b), colour,
                                          b == 0 ? Qt::SolidLine : Qt::DashLine, hx, hy);
            for (int i = 1; i + 1 < Stats::kBins && total > 0; ++i)
                if (s.counts[b][i] > 0)
                    series->append(Stats::Middle(i),
                                   double(s.counts[b][i]) / double(total) / Stats::kBin);
        }
        for (int i = 0; i < Stats::kReliabilityBins; ++i)
            if (s.wrongInBin[i] > 0)
                least = std::min({least, s.claimedInBin[i] / double(s.inBin[i]),
                                  double(s.wrongInBin[i]) / double(s.inBin[i])});
    }
    least = std::pow(10.0, std::floor(std::log10(std::max(least, 1e-9))));
    auto* rx = AddAxis<QLogValueAxis>(r, tr("claimed 1 / (1 + e^|L|)"), least, 1, Qt::AlignBottom);
    auto* ry = AddAxis<QLogValueAxis>(r, tr("measured error rate"), least, 1, Qt::AlignLeft);
    QLineSeries* diagonal =
        AddLine(r, tr("claimed = measured"), QColor(128, 128, 128), Qt::DotLine, rx, ry);
    diagonal->append(least, least);
    diagonal->append(0.5, 0.5);
    auto* tx = AddAxis<QValueAxis>(t, tr("a-priori information I_A"), 0, 1, Qt::AlignBottom);
    auto* ty = AddAxis<QValueAxis>(t, tr("extrinsic information I_E"), 0, 1, Qt::AlignLeft);
    for (std::size_t d = 0; d < p.ratios.kinds.size(); ++d) {
        const Stats& s = p.ratios.statistics[d];
        const QString name = QString::fromUtf8(detectors::KindTitle(p.ratios.kinds[d]));
        const QColor colour = ColourOf(p.ratios.kinds[d]);
        QLineSeries* rel = AddLine(r, name, colour, Qt::SolidLine, rx, ry);
        rel->setPointsVisible(true);
        for (int i = 0; i < Stats::kReliabilityBins; ++i)
            if (s.wrongInBin[i] > 0)
                rel->append(s.claimedInBin[i] / double(s.inBin[i]),
                            double(s.wrongInBin[i]) / double(s.inBin[i]));
        QLineSeries* curve = AddLine(t, name, colour, Qt::SolidLine, tx, ty);
        curve->setPointsVisible(true);
        if (d < p.exit.size())
            for (const engine::ExitPoint& e : p.exit[d]) curve->append(e.ia, e.ie);
    }
    for (auto [view, chart] : {std::pair{histograms_, h}, {reliability_, r}, {transfer_, t}}) {
        QChart* old = view->chart();
        view->setChart(chart);
        delete old;
    }
}

} // namespace labwindow
