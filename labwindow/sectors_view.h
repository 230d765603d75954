#pragma once
// The sectors view: the sector failure rate of the iterative LDPC channel
// against Viterbi/npml plus Reed-Solomon at the same user density, point by
// point as they finish, and one sector's wrong user bits after each local
// iteration of each global round (the decoder converging, or not).
#include <QChartView>
#include <QLabel>
#include <QWidget>
#include <memory>

#include "labwindow/model/sectors.h"

namespace labwindow {

class SectorsView : public QWidget {
    Q_OBJECT
  public:
    explicit SectorsView(QWidget* parent = nullptr);

    void SetPicture(std::shared_ptr<const labmodel::SectorPicture> picture, const QString& title);
    void SetMessage(const QString& message);
    const labmodel::SectorPicture* Picture() const { return picture_.get(); }

  private:
    std::shared_ptr<const labmodel::SectorPicture> picture_;
    QLabel* status_;
    QChartView* rates_;
    QChartView* trace_;
};

} // namespace labwindow
