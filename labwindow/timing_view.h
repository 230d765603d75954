#pragma once
// The timing view: the panel's block read through a clock that is off and the
// loop that follows it, as `quorvane-lab timing` reads a frame. Above, a
// control for each timing row of the channel option table (the options of
// ber and timing, each given or left empty, read by the command line's
// parser); below, the block's phase track: the true and the recovered phase
// and the timing error against the sample, from the preamble's start. With no
// option given it says that timing is at its ideal instants.
#include <QChartView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <map>
#include <memory>
#include <string>

#include "labwindow/model/timing.h"

namespace labwindow {

class TimingView : public QWidget {
    Q_OBJECT
  public:
    explicit TimingView(QWidget* parent = nullptr);

    // Shows `options` in the controls (their signals stay quiet).
    void Load(const labmodel::TimingOptions& options);
    const labmodel::TimingOptions& Options() const { return options_; }
    // An option's line edit (a number) or combo box (a name, its first item
    // "not given"), by its Python keyword: "phase", "ted_decisions".
    QLineEdit* Field(const std::string& keyword) const;
    QComboBox* Names(const std::string& keyword) const;
    QLabel* error; // the first refusal, as the command line words it

    void SetPicture(std::shared_ptr<const labmodel::TimingPicture> picture);
    void SetMessage(const QString& message);
    const labmodel::TimingPicture* Picture() const { return picture_.get(); }
    QChartView* ChartView() const { return chart_; }

  signals:
    void optionsChanged();

  private:
    void Take();

    labmodel::TimingOptions options_;
    bool loading_ = false;
    std::map<std::string, QLineEdit*> fields_;
    std::map<std::string, QComboBox*> names_;
    std::shared_ptr<const labmodel::TimingPicture> picture_;
    QLabel* status_;
    QChartView* chart_;
};

} // namespace labwindow
