#pragma once
// The block view: one block's readback waveform, clean and as the detectors
// saw it, the received samples, and the strips of raw bits and of every
// detector's decisions, a wrong bit in red. Hovering a sample says what each
// detector made of it. Long blocks show a stretch at a time; the scroll bar
// moves it.
#include <QStringList>
#include <QWidget>
#include <memory>

#include "labwindow/along_view.h"
#include "labwindow/model/block.h"

namespace labwindow {

class BlockView : public AlongView {
    Q_OBJECT
  public:
    explicit BlockView(QWidget* parent = nullptr);

    void SetBlock(std::shared_ptr<const labmodel::BlockView> block);
    const labmodel::BlockView* Block() const { return block_.get(); }

    // How many samples fit.
    int Visible() const override;

    // Where things are, in the widget's coordinates, for the tests and the
    // hover: the cell of bit k in strip `row` (0: raw bits, then one per
    // detector), and the sample under x (-1: none).
    QRect CellRect(int row, int k) const;
    int SampleAt(int x) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Layout {
        QRect title, legend, plot, strips;
        QRect notes; // under the title: the code's and the clock's lines, when there are any
        int rowHeight = 0;
        double cell = 0; // pixels per bit period
    };
    Layout Compute() const;
    // The lines under the title: what a constraint code and the Timing tab's
    // clock change (none without them).
    QStringList Notes() const;
    int Count() const override;
    double X(const Layout& l, double t) const; // t: bit periods from bit 0
    QRect CellIn(const Layout& l, int row, int k) const;
    double Y(const Layout& l, double v) const;
    void PaintPlot(QPainter& p, const Layout& l);
    void PaintStrips(QPainter& p, const Layout& l);

    std::shared_ptr<const labmodel::BlockView> block_;
    int hover_ = -1;
};

} // namespace labwindow
