#pragma once
// A dialog whose whole look is one PNG image drawn with per-pixel
// alpha through UpdateLayeredWindow (the main background window and the frame
// of the skinned message box). Pressing the left button on an opaque pixel and
// moving drags the window group (MoveBy decides what moves).
#include <windows.h>
#include <gdiplus.h>
#include <memory>

#include "ui/DialogBase.h"
#include "ui/DragTracker.h"

class CLayeredBackgroundDialog : public CDialogBase {
public:
    // Loads the PNG resource pngId; the window takes its size times GetUiScale.
    CLayeredBackgroundDialog(UINT templateId, UINT pngId, CWnd* parent);
    ~CLayeredBackgroundDialog() override;

    std::unique_ptr<Gdiplus::Image> image;
    int pngId = 0;
    int width = 0;
    int height = 0;
    int updating = 0;
    int alpha = 255;  // constant alpha on top of the image's own
    DragTracker drag;  // moves the group through MoveBy

    // WM_MOVE: nothing.
    virtual void OnMove(int x, int y) {}
    // WM_SIZE: default processing, then UpdateLayered.
    virtual void OnSize(UINT type, int cx, int cy);

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Draws the window: the image stretched to width x height with per-pixel
    // alpha and the constant alpha, at the window's current screen position.
    // A nested call returns at once.
    void UpdateLayered();
};
