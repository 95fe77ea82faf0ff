#pragma once
// A content window laid on a layered frame (CSkinDialog), with the data it shows.
#include <windows.h>
#include <gdiplus.h>

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

    Gdiplus::Bitmap* backdrop = nullptr;  // owned
    UIDataBase* uiData = nullptr;         // owned
    DragTracker drag;  // when draggable: moves the owner dialog's group

    virtual void OnPaint();
    virtual void OnSize(UINT type, int cx, int cy);
    virtual bool ShouldPaintBackground(const RECT& paintRect) { return true; }

    // Deletes the old backdrop and keeps the new one.
    void SetBackdrop(Gdiplus::Bitmap* bitmap);
    // Deletes the old data and keeps the new.
    void SetUiData(UIDataBase* data);

    BOOL OnInitDialog() override;
    void OnShowWindow(BOOL show, UINT status) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PaintBackdropUnder(HWND child, HDC dc) override;

private:
    void DrawBackdrop(Gdiplus::Graphics& graphics, int originX, int originY);
};
