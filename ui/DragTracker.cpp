#include "ui/DragTracker.h"

void DragTracker::Begin(HWND window) {
    ::GetCursorPos(&last_);
    dragging_ = true;
    ::SetCapture(window);
}

bool DragTracker::Move(int* dx, int* dy) {
    if (!dragging_) return false;
    POINT cursor;
    ::GetCursorPos(&cursor);
    *dx = cursor.x - last_.x;
    *dy = cursor.y - last_.y;
    last_ = cursor;
    return true;
}

void DragTracker::End() {
    dragging_ = false;
    ::ReleaseCapture();
}
