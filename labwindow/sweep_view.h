#pragma once
// The error-rate view: a sweep over the panel's SNR range running on worker
// threads, each point appearing on a logarithmic chart as it finishes, with
// the slicer's exact rate and the Viterbi detector's union bound as lines.
#include <QChart>
#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QValueAxis>
#include <QWidget>
#include <vector>

#include "choices/channel.h"
#include "engine/ber_sweep.h"
#include "labwindow/model/settings.h"
#include "labwindow/model/sweep.h"

namespace labwindow {

class SweepView : public QWidget {
    Q_OBJECT
  public:
    explicit SweepView(QWidget* parent = nullptr);

    // A new sweep over `dbs` with these settings: the chart is cleared and
    // drawn with the curves of the target.
    void Begin(const labmodel::LabSettings& settings, const std::vector<double>& dbs);
    // The chart of such a sweep before it runs: the axes and the curves.
    void Preview(const labmodel::LabSettings& settings, const std::vector<double>& dbs);
    void AddPoint(const engine::BerPoint& point);
    void Progress(const labmodel::SweepProgress& progress);
    // The sweep ended: all points done, or stopped (why: for the status line).
    void End(bool complete, const QString& why = {});

    const std::vector<engine::BerPoint>& Points() const { return points_; }
    // The sweep's channel as the command line's choices: its CSV's columns.
    const choices::ChannelChoice& Choice() const { return choice_; }
    bool Running() const { return running_; }
    QChartView* ChartView() const { return view_; }

    QPushButton* runButton;
    QPushButton* stopButton;
    QPushButton* csvButton;
    QPushButton* pngButton;

  private:
    void FitAxes();
    void ShowStatus();

    QChart* chart_;
    QChartView* view_;
    QValueAxis* x_;
    QLogValueAxis* y_;
    QLineSeries* exact_;
    QLineSeries* bound_;
    std::vector<QScatterSeries*> measured_;
    // Importance sampling's 95 % intervals, a bar a point, out of the legend.
    std::vector<QLineSeries*> bars_;
    QProgressBar* progress_;
    QLabel* status_;
    engine::SweepSettings sweep_;
    choices::ChannelChoice choice_;
    std::vector<double> dbs_;
    std::vector<engine::BerPoint> points_;
    double lowest_ = 1, highest_ = 0;
    bool running_ = false;
    QString ended_;
};

} // namespace labwindow
