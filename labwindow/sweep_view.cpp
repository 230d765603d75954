#include "labwindow/sweep_view.h"

#include <QHBoxLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QPen>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "engine/ber_curves.h"
#include "labwindow/style.h"

namespace labwindow {
namespace {

void Fill(QLineSeries* series, const engine::Curve& curve) {
    QList<QPointF> points;
    for (std::size_t i = 0; i < curve.db.size(); ++i) points.append({curve.db[i], curve.rate[i]});
    series->replace(points);
}

} // namespace

SweepView::SweepView(QWidget* parent) : QWidget(parent) {
    runButton = new QPushButton(tr("Run sweep"));
    runButton->setToolTip(tr("Measure the error rates over the panel's SNR range (Ctrl+R)"));
    stopButton = new QPushButton(tr("Stop"));
    stopButton->setToolTip(tr("Stop the sweep; the finished points stay (Esc)"));
    stopButton->setEnabled(false);
    csvButton = new QPushButton(tr("Export CSV..."));
    csvButton->setToolTip(tr("Write the finished points as quorvane-lab ber --csv does"));
    pngButton = new QPushButton(tr("Export PNG..."));
    pngButton->setToolTip(tr("Write the chart as a picture"));
    progress_ = new QProgressBar;
    progress_->setRange(0, 1000);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setToolTip(tr("How far the sweep has come"));
    status_ =
        new QLabel(tr("No sweep yet: choose the SNR range in the panel and press Run sweep."));
    status_->setWordWrap(true);

    chart_ = new QChart;
    chart_->setAnimationOptions(QChart::NoAnimation);
    chart_->setBackgroundRoundness(0);
    chart_->legend()->setAlignment(Qt::AlignBottom);
    chart_->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    chart_->legend()->setFont(ViewFont(11));
    chart_->setTitleFont(ViewFont(13, true));
    x_ = new QValueAxis;
    x_->setTitleText(tr("SNR (dB)"));
    x_->setLabelFormat("%g");
    y_ = new QLogValueAxis;
    y_->setBase(10);
    y_->setLabelFormat("%.0e");
    y_->setMinorTickCount(8);
    y_->setTitleText(tr("bit-error rate"));
    y_->setRange(1e-6, 1);
    for (QAbstractAxis* a : {static_cast<QAbstractAxis*>(x_), static_cast<QAbstractAxis*>(y_)}) {
        a->setLabelsFont(ViewFont(11));
        a->setTitleFont(ViewFont(12));
    }
    chart_->addAxis(x_, Qt::AlignBottom);
    chart_->addAxis(y_, Qt::AlignLeft);
    exact_ = new QLineSeries;
    exact_->setName(tr("slicer, exact"));
    exact_->setPen(QPen(ColourOf(detectors::Kind::kSlicer), 2));
    bound_ = new QLineSeries;
    bound_->setName(tr("Viterbi, union bound"));
    QPen dashed(ColourOf(detectors::Kind::kViterbi), 2);
    dashed.setStyle(Qt::DashLine);
    bound_->setPen(dashed);
    for (QLineSeries* s : {exact_, bound_}) {
        chart_->addSeries(s);
        s->attachAxis(x_);
        s->attachAxis(y_);
    }
    view_ = new QChartView(chart_);
    view_->setRenderHint(QPainter::Antialiasing, true);
    view_->setMinimumSize(400, 260);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(runButton);
    buttons->addWidget(stopButton);
    buttons->addWidget(progress_, 1);
    buttons->addWidget(csvButton);
    buttons->addWidget(pngButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addWidget(view_, 1);
}

void SweepView::Begin(const labmodel::LabSettings& settings, const std::vector<double>& dbs) {
    Preview(settings, dbs);
    running_ = true;
    runButton->setEnabled(false);
    stopButton->setEnabled(true);
    ShowStatus();
}

void SweepView::Preview(const labmodel::LabSettings& settings, const std::vector<double>& dbs) {
    sweep_ = labmodel::SweepOf(settings);
    choice_ = labmodel::ChoiceOf(settings);
    dbs_ = dbs;
    points_.clear();
    ended_.clear();
    for (QScatterSeries* s : measured_) {
        chart_->removeSeries(s);
        delete s;
    }
    measured_.clear();
    for (QLineSeries* s : bars_) {
        chart_->removeSeries(s);
        delete s;
    }
    bars_.clear();
    const channel::Target& target = settings.Target();
    const bool recording = settings.Head();
    QString title = tr("Bit-error rate against SNR, %1, frames of %2 bits")
                        .arg(QString::fromStdString(target.Name()))
                        .arg(labmodel::SweepSettingsOf(settings).frame);
    // A head's in a second line, as the lab's chart has it in its subtitle.
    if (recording) title += "<br>" + QString::fromStdString(labmodel::ChannelText(settings));
    chart_->setTitle(title);
    x_->setTitleText(recording ? tr("SNR = 10 log10(E_i / sigma\u00B2) (dB)") : tr("SNR (dB)"));
    // Half a dB of room either side, so the end points show whole.
    // Ticks a whole number of dB apart, at most 13 of them: a span of 20 dB
    // in 12 steps would be labelled 12.67, 14.33, ...
    const double from = std::floor(dbs.front() - 0.5);
    const int span = static_cast<int>(std::ceil(dbs.back() + 0.5) - from);
    const int step = (span + 11) / 12;
    const int steps = (span + step - 1) / step;
    const double to = from + steps * step;
    x_->setRange(from, to);
    x_->setTickCount(steps + 1);
    const engine::BerCurves curves = engine::CurvesOf(sweep_.chains.front(), from, to);
    Fill(exact_, curves.slicer);
    Fill(bound_, curves.bound);
    // On a head the slicer's rate has no closed form, and the bound is the
    // measured points' (the equalized noise's autocorrelation as designed).
    exact_->setVisible(!recording && target.HasSlicer() &&
                       labmodel::Ticked(settings, detectors::Kind::kSlicer));
    bound_->setVisible(labmodel::Ticked(settings, detectors::Kind::kViterbi));
    bound_->setName(recording ? tr("Viterbi, union bound at the points")
                              : tr("Viterbi, union bound"));
    for (detectors::Kind kind : sweep_.detectors) {
        auto* s = new QScatterSeries;
        s->setName(sweep_.estimator == engine::Estimator::kImportance
                       ? tr("%1, importance sampled").arg(detectors::KindTitle(kind))
                       : tr("%1, measured").arg(detectors::KindTitle(kind)));
        s->setMarkerSize(9);
        s->setColor(ColourOf(kind));
        s->setBorderColor(ColourOf(kind));
        chart_->addSeries(s);
        s->attachAxis(x_);
        s->attachAxis(y_);
        measured_.push_back(s);
    }
    // The curves decide the height until points come: from the highest at
    // the left end to the lowest at the right one.
    lowest_ = 1, highest_ = 0;
    for (const engine::Curve* c : {&curves.slicer, &curves.bound}) {
        if (c->rate.empty() || (c == &curves.slicer && !exact_->isVisible()) ||
            (c == &curves.bound && !bound_->isVisible()))
            continue;
        highest_ = std::max(highest_, c->rate.front());
        lowest_ = std::min(lowest_, std::max(c->rate.back(), 1e-9));
    }
    FitAxes();
    progress_->setValue(0);
    status_->setText(tr("No sweep yet: the lines are exact; Run sweep (Ctrl+R) measures the "
                        "points."));
}

void SweepView::AddPoint(const engine::BerPoint& point) {
    points_.push_back(point);
    for (std::size_t d = 0; d < measured_.size(); ++d) {
        const engine::Monitor* m = point.CountsOf(sweep_.detectors[d]);
        if (m == nullptr || m->bitErrors == 0) continue;
        const std::size_t at = static_cast<std::size_t>(m - point.counts.detectors.data());
        const bool estimated = at < point.estimates.size();
        const double rate = estimated ? point.estimates[at].ber : m->Ber();
        if (rate == 0) continue;
        measured_[d]->append(point.snrDb, rate);
        lowest_ = std::min(lowest_, rate);
        highest_ = std::max(highest_, rate);
        if (estimated) {
            auto* bar = new QLineSeries;
            bar->setPen(QPen(measured_[d]->color(), 1.5));
            bar->append(point.snrDb, std::max(point.estimates[at].low, rate * 1e-3));
            bar->append(point.snrDb, point.estimates[at].high);
            chart_->addSeries(bar);
            bar->attachAxis(x_);
            bar->attachAxis(y_);
            for (QLegendMarker* marker : chart_->legend()->markers(bar)) marker->setVisible(false);
            bars_.push_back(bar);
        }
    }
    if (sweep_.chains.front().Recording() && point.unionBound > 0) {
        bound_->append(point.snrDb, point.unionBound);
        if (bound_->isVisible()) {
            lowest_ = std::min(lowest_, std::max(point.unionBound, 1e-12));
            highest_ = std::max(highest_, point.unionBound);
        }
    }
    FitAxes();
    progress_->setValue(
        static_cast<int>(1000 * points_.size() / std::max<std::size_t>(1, dbs_.size())));
    ShowStatus();
}

void SweepView::Progress(const labmodel::SweepProgress& p) {
    if (!running_ || p.points == 0) return;
    const double within = p.goal > 0 ? std::min(1.0, double(p.bits) / double(p.goal)) : 0;
    progress_->setValue(static_cast<int>(1000 * (p.point + within) / p.points));
}

void SweepView::End(bool complete, const QString& why) {
    running_ = false;
    ended_ = complete ? QString() : why;
    if (complete) progress_->setValue(1000);
    runButton->setEnabled(true);
    stopButton->setEnabled(false);
    ShowStatus();
}

void SweepView::FitAxes() {
    if (highest_ <= 0) return;
    const double top = std::min(1.0, std::pow(10.0, std::ceil(std::log10(highest_) + 1e-9)));
    const double bottom = std::pow(10.0, std::floor(std::log10(lowest_) - 1e-9));
    // A hair wider than the decades, so that rounding keeps both end labels.
    y_->setRange(bottom / 1.001, std::max(top, bottom * 10) * 1.001);
}

void SweepView::ShowStatus() {
    int zero = 0;
    for (const engine::BerPoint& p : points_)
        for (const engine::Monitor& m : p.counts.detectors) zero += m.bitErrors == 0;
    QString text = tr("%1 of %2 points").arg(points_.size()).arg(dbs_.size());
    if (running_)
        text += tr(", running on worker threads");
    else if (!ended_.isEmpty())
        text += tr(", stopped: %1").arg(ended_);
    else if (points_.size() == dbs_.size())
        text += tr(", done");
    if (zero > 0)
        text += tr("; %1 measured rates of 0 are left out of the logarithmic chart").arg(zero);
    status_->setText(text);
}

} // namespace labwindow
