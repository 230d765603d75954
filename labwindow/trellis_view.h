#pragma once
// The trellis view: the Viterbi detector's states against time for the
// block. Every state's survivor (the branch it chose into each state at each
// step) faintly, the decided path bright, the true path beside it, and where
// they part an error event with its distance and the raw-bit errors it made,
// as the events table lists it.
#include <QWidget>
#include <memory>

#include "labwindow/along_view.h"
#include "labwindow/model/block.h"

namespace labwindow {

class TrellisView : public AlongView {
    Q_OBJECT
  public:
    explicit TrellisView(QWidget* parent = nullptr);

    void SetBlock(std::shared_ptr<const labmodel::BlockView> block);
    int Visible() const override;

    // The centre of state s after sample k (k = -1: the start), in the
    // widget's coordinates.
    QPointF Node(int k, int s) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Layout {
        QRect title, legend, plot, notes;
        double cell = 0, row = 0;
    };
    Layout Compute() const;
    int Count() const override;
    QPointF NodeIn(const Layout& l, int k, int s) const;

    std::shared_ptr<const labmodel::BlockView> block_;
};

// One line about an event of the block: where, the event, its distance, the
// raw-bit errors, and its row of the events table.
QString EventLine(const labmodel::PathEvent& event);

} // namespace labwindow
