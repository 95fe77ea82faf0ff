#pragma once
// The top of a window group: a layered PNG window that decides closing, moving
// and message boxes for the windows placed on it (its foreground content).
#include "afx/ScopedWin.h"
#include "ui/LayeredBackgroundDialog.h"
#include "ui/TaskbarListProgress.h"

class CMainBackgroundDialog : public CLayeredBackgroundDialog {
public:
    CMainBackgroundDialog(UINT templateId, UINT pngId, CWnd* parent);

    CDialogBase* foreground = nullptr;  // created by the concrete background
    // Added to the background's left and top when centring a message box (not scaled).
    int messageBoxOffsetX = 0;
    int messageBoxOffsetY = 0;

    // The group's taskbar button is this window's: the others are owned by it or
    // have no button of their own.
    TaskbarListProgress& Taskbar() { return taskbar_; }

    // Puts the group's windows in place.
    virtual void AlignChildren() {}

    BOOL OnInitDialog() override;
    void OnCloseConfirmed() override;
    void MoveBy(int dx, int dy) override;
    int ShowMessageBox(HWND owner, const std::wstring& text, int style, const std::wstring& firstButtonText,
                       const std::wstring& secondButtonText, int swapImages) override;
    void ShowGroup(int showCommand) override;
    void BringGroupToFront() override;
    void OnMove(int x, int y) override;
    void OnSize(UINT type, int cx, int cy) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    // Before the launcher ends at a confirmed close.
    virtual void OnClosing() {}
    // One batch that moves this window by dx, dy, the foreground onto its new
    // place, and a window riding along at its offsets (when given).
    void MoveGroup(int dx, int dy, CDialogBase* satellite);

private:
    // COM on this thread while the group lives: its taskbar button and the
    // accessibility objects of its windows are COM objects.
    ScopedComInit com_;
    TaskbarListProgress taskbar_;
};
