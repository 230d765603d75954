#pragma once
// The soft view: what the soft detectors' ratios are worth on the panel's
// channel at its SNR. The histograms of L given the bit, the reliability
// curve (measured against claimed error rate) and each detector's transfer
// curve, as `quorvane-lab llr` and `exit` draw them.
#include <QChartView>
#include <QLabel>
#include <QWidget>
#include <memory>

#include "labwindow/model/soft.h"

namespace labwindow {

class SoftView : public QWidget {
    Q_OBJECT
  public:
    explicit SoftView(QWidget* parent = nullptr);

    void SetPicture(std::shared_ptr<const labmodel::SoftPicture> picture, const QString& title);
    // Shown instead of the charts (no soft detector ticked, or computing).
    void SetMessage(const QString& message);
    const labmodel::SoftPicture* Picture() const { return picture_.get(); }

  private:
    std::shared_ptr<const labmodel::SoftPicture> picture_;
    QLabel* status_;
    QChartView* histograms_;
    QChartView* reliability_;
    QChartView* transfer_;
};

} // namespace labwindow
