#pragma once
// What the block and trellis views share: a long block shown a stretch at a
// time. The arrows move it a bit period, Page Up and Page Down a view's
// width, Home and End to either end; the scroll bar along the view's bottom
// moves it too and shows only when some of the block is out of view.
#include <QScrollBar>
#include <QWidget>

namespace labwindow {

class AlongView : public QWidget {
    Q_OBJECT
  public:
    // The first sample (or step) shown, and how many fit.
    int Start() const { return start_; }
    virtual int Visible() const = 0;
    void SetStart(int start);

  signals:
    void startChanged(int start);

  protected:
    // `margin`: the view's own, inside which the scroll bar lies.
    AlongView(int margin, QWidget* parent);
    // The samples (or steps) along the whole block.
    virtual int Count() const = 0;
    // The scroll bar's place and range for the view's size and block; then
    // the first sample kept within the block.
    void UpdateScrollBar();
    // The height the scroll bar takes at the bottom, 0 when hidden.
    int ScrollBarHeight(int gap) const;

    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QScrollBar* scroll_;
    int margin_;
    int start_ = 0;
};

} // namespace labwindow
