#pragma once
// Dragging a window group with the left button: the button going down on a
// window starts a drag and captures the mouse; every move while it lasts gives
// how far the cursor has gone on the screen since the last one; the button
// going up, or the capture going elsewhere, ends it. The window decides what
// moves (its own MoveBy, its owner dialog's) and which messages start a drag.
#include <windows.h>

class DragTracker {
public:
    DragTracker() = default;
    DragTracker(const DragTracker&) = delete;
    DragTracker& operator=(const DragTracker&) = delete;

    bool IsDragging() const { return dragging_; }

    // WM_LBUTTONDOWN: remembers the cursor's screen position and captures the
    // mouse for window.
    void Begin(HWND window);
    // WM_MOUSEMOVE: while dragging, the cursor's screen movement since the last
    // call (or Begin) into dx, dy, and true; false when no drag is running.
    bool Move(int* dx, int* dy);
    // WM_LBUTTONUP: the drag is over and the capture released.
    void End();
    // WM_CAPTURECHANGED: the capture was taken away, the drag is over.
    void OnCaptureLost() { dragging_ = false; }

private:
    bool dragging_ = false;
    POINT last_ = {0, 0};
};
