#pragma once
// The eye view: the density eye of the lab's eye engine as it accumulates,
// in the colours `quorvane-lab eye --png` uses, with the eye's openings at
// the sampling instant marked and the smallest named.
#include <QImage>
#include <QWidget>
#include <memory>

#include "labwindow/model/eye.h"

namespace labwindow {

// The picture of an eye frame: its palette indices through the eye palette,
// top row first, at the frame's size in device pixels.
QImage EyeImageOf(const labmodel::EyeFrame& frame);

class EyeView : public QWidget {
    Q_OBJECT
  public:
    explicit EyeView(QWidget* parent = nullptr);

    // The raster the eye may fill, in device pixels.
    QSize RasterPixels() const;
    void SetFrame(std::shared_ptr<const labmodel::EyeFrame> frame, QImage image,
                  const QString& title);
    // Shown instead of a picture (e.g. the view is too small).
    void SetMessage(const QString& message);
    const labmodel::EyeFrame* Frame() const { return frame_.get(); }
    // Where raster column x, row y (from the bottom) is, in the widget.
    QPointF RasterPoint(double x, double y) const;

  signals:
    void resized();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    std::shared_ptr<const labmodel::EyeFrame> frame_;
    QImage image_;
    QString title_;
    QString message_;
};

} // namespace labwindow
