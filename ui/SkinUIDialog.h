#pragma once
// A content window laid on a layered frame (CSkinDialog), with the data it shows.
#include <windows.h>
#include <gdiplus.h>
#include <memory>

#include "ui/DialogBase.h"
#include "ui/DragTracker.h"
#include "ui/SkinControls.h"

class UIDataBase {
public:
    virtual ~UIDataBase() = default;
};

// A content window laid on a layered frame; painted from the frame's picture
// (backdrop), invisible until its first paint.
class CSkinUIDialog : public CDialogBase, public ISkinBackdropHost {
public:
    CSkinUIDialog(UINT templateId, CWnd* parent);
    ~CSkinUIDialog() override;

    std::unique_ptr<Gdiplus::Bitmap> backdrop;
    std::unique_ptr<UIDataBase> uiData;
    DragTracker drag;  // when draggable: moves the owner dialog's group

    void OnPaint();
    virtual void OnSize(UINT type, int cx, int cy);

    // Replaces the backdrop and repaints.
    void SetBackdrop(std::unique_ptr<Gdiplus::Bitmap> bitmap);
    void SetUiData(std::unique_ptr<UIDataBase> data) { uiData = std::move(data); }

    BOOL OnInitDialog() override;
    void OnShowWindow(BOOL show, UINT status) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PaintBackdropUnder(HWND child, HDC dc) override;

private:
    void DrawBackdrop(Gdiplus::Graphics& graphics, int originX, int originY);
};
