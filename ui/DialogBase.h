#pragma once
// The dialog base of every launcher window. Each dialog has its place
// in a window group: an owner dialog up a chain (where closing, moving and
// message boxes are decided), the close confirmation with the waiting tips,
// the layout offsets and margins by which it sits on another window, and the
// keyboard rule (Enter, Escape and Ctrl+Break do nothing).
#include <windows.h>
#include <memory>
#include <string>
#include <vector>

#include "afx/Dialog.h"

class CDialogBase : public CDialog {
public:
    CDialogBase(UINT templateId, CWnd* parent);
    ~CDialogBase() override;

    // Layout in designed pixels (times GetUiScale when applied).
    int offsetX = 0;
    int offsetY = 0;
    int marginLeft = 0;
    int marginTop = 0;
    int marginRight = 0;
    int marginBottom = 0;
    CDialogBase* ownerDialog = nullptr;  // not owned
    int confirmClose = 1;
    int draggable = 0;
    std::unique_ptr<CDialog> childDialog;
    std::vector<std::wstring> waitingTips;

    // WM_SHOWWINDOW: default processing, then (when shown) SetForegroundWindow.
    virtual void OnShowWindow(BOOL show, UINT status);
    // A close has been decided at the top of the chain.
    virtual void OnCloseConfirmed() {}
    // Ends childDialog (EndDialog 7 on its owner dialog, else on itself), deletes it.
    void DestroyChildDialog();
    void SetOwnerDialog(CDialogBase* owner);
    // Moves the group by dx, dy; here nothing.
    virtual void MoveBy(int dx, int dy) {}
    // Asks the user; 1 for the first button, 7 for the second. Here: forwarded
    // to the owner dialog; without an owner answers 1 and shows nothing.
    virtual int ShowMessageBox(HWND owner, const std::wstring& text, int style,
                               const std::wstring& firstButtonText, const std::wstring& secondButtonText,
                               int swapImages);
    // Forwarded to the owner dialog; the top of the chain shows itself.
    virtual void ShowGroup(int showCommand);
    // Forwarded to the owner dialog; the top of the chain makes itself the foreground window.
    virtual void BringGroupToFront();

    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // One of the six waiting tips (filled on first use), picked with the C
    // runtime's generator seeded with the current time in seconds.
    std::wstring PickWaitingTip();

private:
    void ResetGroupState();
};

// The six waiting tips, in order.
const std::vector<std::wstring>& WaitingTipTexts();

// Sets confirmClose of the dialog and of every dialog up its owner chain.
void SetConfirmClose(CDialogBase* dialog, int value);
// SW_SHOWNORMAL, then centred on the desktop (size and z-order kept).
void ShowCentered(CWnd* dialog);
// Moves an existing window to screen position x, y (size and z-order kept).
void MoveWindowTo(HWND window, int x, int y);
// MoveWindowTo, then the size cx by cy (position and z-order kept).
void MoveAndResizeWindow(HWND window, int x, int y, int cx, int cy);
// Places a control (when it has a window) from designed (left, top) to
// (right, bottom) in its parent, each coordinate times GetUiScale and truncated
// on its own.
void PlaceControl(CWnd& control, int left, int top, int right, int bottom);

// One DeferWindowPos batch of moves (size and z-order kept, activation too);
// the moves take effect together when the batch ends (destructor or Commit).
class WindowMoveBatch {
public:
    explicit WindowMoveBatch(int expected = 2);
    ~WindowMoveBatch() { Commit(); }
    WindowMoveBatch(const WindowMoveBatch&) = delete;
    WindowMoveBatch& operator=(const WindowMoveBatch&) = delete;
    void Move(HWND window, int x, int y);
    void Commit();

private:
    HDWP batch_;
};

// The layout rules of the window groups, with s = GetUiScale and host rectangle host
// (screen coordinates). Single-precision arithmetic, each offset or size
// truncated toward zero.
struct ContentPlacement {
    int offsetX;  // from the host's left
    int offsetY;  // from the host's top
    int width;
    int height;
};
// A content window that fills the host.
ContentPlacement PlaceContent(const RECT& host, const CDialogBase& content, float scale);
// A satellite window that rides along at its offsets: its top-left corner.
POINT PlaceSatellite(const RECT& host, const CDialogBase& satellite, float scale);
