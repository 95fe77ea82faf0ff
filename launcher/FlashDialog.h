#pragma once
// The launcher's invisible root dialog. The application runs it modally; its
// modal loop carries the whole launcher. It creates the background window,
// which lays the foreground over itself at the root's first erase.
#include <memory>

#include "ui/DialogBase.h"
#include "ui/DragTracker.h"

class CNewTalmoMainBackgroundDialog;
class CResourceManager;

class CFlashDialog : public CDialogBase {
public:
    // The manager must outlive the window; the background hands it to the foreground.
    explicit CFlashDialog(CResourceManager& resources);
    ~CFlashDialog() override;

    BOOL OnInitDialog() override;
    void MoveBy(int dx, int dy) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void OnSize(UINT type, int cx, int cy);
    virtual void OnPaint();

    std::unique_ptr<CNewTalmoMainBackgroundDialog> background;
    DragTracker drag;  // moves the group through MoveBy
    int foregroundRequested = 0;
    int firstPaintPending = 0;

private:
    CResourceManager& resources_;
};
