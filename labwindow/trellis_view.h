#pragma once
// The trellis view: the Viterbi detector's states against time for the
// block. Every state's survivor (the branch it chose into each state at each
// step) faintly, the decided path bright, the true path beside it, and where
// they part an error event with its distance and the raw-bit errors it made,
// as the events table lists it.
#include <QScrollBar>
#include <QWidget>
#include <memory>

#include "labwindow/model/block.h"

namespace labwindow {

class TrellisView : public QWidget {
    Q_OBJECT
  public:
    explicit TrellisView(QWidget* parent = nullptr);

    void SetBlock(std::shared_ptr<const labmodel::BlockView> block);
    int Start() const { return start_; }
    int Visible() const;
    void SetStart(int start);

    // The centre of state s after sample k (k = -1: the start), in the
    // widget's coordinates.
    QPointF Node(int k, int s) const;

  signals:
    void startChanged(int start);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    struct Layout {
        QRect title, legend, plot, notes;
        double cell = 0, row = 0;
    };
    Layout Compute() const;
    int Steps() const;
    void UpdateScrollBar();
    QPointF NodeIn(const Layout& l, int k, int s) const;

    std::shared_ptr<const labmodel::BlockView> block_;
    QScrollBar* scroll_;
    int start_ = 0;
};

// One line about an event of the block: where, the event, its distance, the
// raw-bit errors, and its row of the events table.
QString EventLine(const labmodel::PathEvent& event);

} // namespace labwindow
