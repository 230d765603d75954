#pragma once
// The keys that move the block and trellis views along a long block: the
// arrows a bit period, Page Up and Page Down a view's width, Home and End
// to either end.
#include <Qt>
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

} // namespace labwindow
