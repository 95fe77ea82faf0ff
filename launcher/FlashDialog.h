#pragma once
// The launcher's invisible root dialog. The application runs it modally; its
// modal loop carries the whole launcher. It creates the background window,
// which lays the foreground over itself at the root's first erase.
#include "ui/DialogBase.h"
#include "ui/DragTracker.h"

class CNewTalmoMainBackgroundDialog;

class CFlashDialog : public CDialogBase {
public:
    CFlashDialog();
    ~CFlashDialog() override;

    BOOL OnInitDialog() override;
    void MoveBy(int dx, int dy) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnPaint();

    CNewTalmoMainBackgroundDialog* background = nullptr;  // owned
    DragTracker drag;  // moves the group through MoveBy
    int foregroundRequested = 0;
    int firstPaintPending = 0;
};
