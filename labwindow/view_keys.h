#pragma once
// The keys that move the block and trellis views along a long block: the
// arrows a bit period, Page Up and Page Down a view's width, Home and End
// to either end; the scroll bar along the view's bottom.
#include <QScrollBar>
#include <QWidget>
#include <Qt>
#include <algorithm>
#include <functional>

namespace labwindow {

// Calls `move` with the new first sample for `key` and returns true, or
// returns false for any other key.
inline bool MoveAlong(int key, int start, int visible, const std::function<void(int)>& move) {
    switch (key) {
    case Qt::Key_Left:
        move(start - 1);
        return true;
    case Qt::Key_Right:
        move(start + 1);
        return true;
    case Qt::Key_PageUp:
        move(start - visible);
        return true;
    case Qt::Key_PageDown:
        move(start + visible);
        return true;
    case Qt::Key_Home:
        move(0);
        return true;
    case Qt::Key_End:
        move(1 << 30); // clamped to the last stretch
        return true;
    default:
        return false;
    }
}

// The first of `count` samples (or steps) a view shows `visible` of at once.
inline int ClampStart(int start, int count, int visible) {
    return std::clamp(start, 0, std::max(0, count - visible));
}

// The scroll bar across the bottom of `view`, inside its margin, shown only
// when some of the `count` samples are out of view.
inline void PlaceScrollBar(QScrollBar* scroll, const QWidget& view, int margin, int count,
                           int visible) {
    const int hidden = count - visible;
    scroll->setVisible(hidden > 0);
    scroll->setRange(0, std::max(0, hidden));
    scroll->setPageStep(std::max(1, visible));
    const int height = scroll->sizeHint().height();
    scroll->setGeometry(margin, view.height() - margin - height, view.width() - 2 * margin, height);
}

} // namespace labwindow
