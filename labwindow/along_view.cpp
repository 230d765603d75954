#include "labwindow/along_view.h"

#include <QKeyEvent>
#include <algorithm>

namespace labwindow {

AlongView::AlongView(int margin, QWidget* parent)
    : QWidget(parent), scroll_(new QScrollBar(Qt::Horizontal, this)), margin_(margin) {
    setMinimumSize(480, 300);
    scroll_->hide();
    setFocusPolicy(Qt::StrongFocus); // the arrows move along a long block
    scroll_->setToolTip(tr("Moves along a block longer than the view"));
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int v) { SetStart(v); });
}

void AlongView::SetStart(int start) {
    start = std::clamp(start, 0, std::max(0, Count() - Visible()));
    if (start == start_) return;
    start_ = start;
    scroll_->setValue(start);
    update();
    emit startChanged(start_);
}

void AlongView::UpdateScrollBar() {
    const int visible = Visible();
    const int hidden = Count() - visible;
    scroll_->setVisible(hidden > 0);
    scroll_->setRange(0, std::max(0, hidden));
    scroll_->setPageStep(std::max(1, visible));
    const int height = scroll_->sizeHint().height();
    scroll_->setGeometry(margin_, this->height() - margin_ - height, width() - 2 * margin_, height);
    SetStart(start_);
}

int AlongView::ScrollBarHeight(int gap) const {
    return scroll_->isVisible() ? scroll_->sizeHint().height() + gap : 0;
}

void AlongView::resizeEvent(QResizeEvent*) {
    UpdateScrollBar();
}

void AlongView::keyPressEvent(QKeyEvent* event) {
    const int visible = Visible();
    switch (event->key()) {
    case Qt::Key_Left:
        return SetStart(start_ - 1);
    case Qt::Key_Right:
        return SetStart(start_ + 1);
    case Qt::Key_PageUp:
        return SetStart(start_ - visible);
    case Qt::Key_PageDown:
        return SetStart(start_ + visible);
    case Qt::Key_Home:
        return SetStart(0);
    case Qt::Key_End:
        return SetStart(Count()); // clamped to the last stretch
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace labwindow
