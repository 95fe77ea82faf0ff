#include "launcher/MainBackgroundDialog.h"

#include "ui/SkinMessageBox.h"
#include "util/DebugTrace.h"
#include "util/SystemHelpers.h"
#include "util/UiScale.h"

CMainBackgroundDialog::CMainBackgroundDialog(UINT templateId, UINT pngId, CWnd* parent)
    : CLayeredBackgroundDialog(templateId, pngId, parent) {}

BOOL CMainBackgroundDialog::OnInitDialog() {
    draggable = 1;
    CLayeredBackgroundDialog::OnInitDialog();  // takes the picture's scaled size, still transparent
    ShowCentered(this);
    return TRUE;
}

LRESULT CMainBackgroundDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) return 0;
    if (message == TaskbarListProgress::ButtonCreatedMessage()) {
        taskbar_.OnButtonCreated(m_hWnd);
        return 0;
    }
    return CLayeredBackgroundDialog::WindowProc(message, wParam, lParam);
}

void CMainBackgroundDialog::OnCloseConfirmed() {
    // Keep what has arrived, stop the downloads, and end at once.
    DebugTrace(L"launcher: closing");
    OnClosing();
    TerminateSelf();
}

void CMainBackgroundDialog::MoveBy(int dx, int dy) { MoveGroup(dx, dy, nullptr); }

void CMainBackgroundDialog::MoveGroup(int dx, int dy, CDialogBase* satellite) {
    if (!draggable) return;
    RECT rect;
    GetWindowRect(&rect);
    int x = rect.left + dx, y = rect.top + dy;
    float s = GetUiScale();
    WindowMoveBatch batch(3);
    batch.Move(m_hWnd, x, y);
    if (foreground && foreground->m_hWnd) {
        batch.Move(foreground->m_hWnd, x + static_cast<int>(s * (foreground->marginLeft + foreground->offsetX)),
                   y + static_cast<int>(s * (foreground->marginTop + foreground->offsetY)));
    }
    if (satellite && satellite->m_hWnd) {
        batch.Move(satellite->m_hWnd, x + static_cast<int>(s * satellite->offsetX),
                   y + static_cast<int>(s * satellite->offsetY));
    }
}

int CMainBackgroundDialog::ShowMessageBox(HWND owner, const std::wstring& text, int style,
                                          const std::wstring& firstButtonText,
                                          const std::wstring& secondButtonText, int swapImages) {
    EnableWindow(FALSE);
    if (foreground && foreground->m_hWnd) foreground->EnableWindow(FALSE);
    RECT placement;
    GetWindowRect(&placement);
    placement.left += messageBoxOffsetX;
    placement.top += messageBoxOffsetY;
    HWND parent = foreground && foreground->m_hWnd ? foreground->m_hWnd : m_hWnd;
    // One trace line per box: a text of several lines keeps its breaks as "\n".
    std::wstring oneLine;
    for (wchar_t c : text) {
        if (c == L'\n') {
            oneLine += L"\\n";
        } else {
            oneLine += c;
        }
    }
    DebugTrace(L"launcher: message box: " + oneLine);
    int answer = ShowSkinMessageBox(text, &placement, firstButtonText, secondButtonText, swapImages, parent, style);
    DebugTrace(L"launcher: message box answer: " + std::to_wstring(answer));
    EnableWindow(TRUE);
    if (foreground && foreground->m_hWnd) foreground->EnableWindow(TRUE);
    return answer;
}

void CMainBackgroundDialog::ShowGroup(int showCommand) {
    if (foreground && foreground->m_hWnd) foreground->ShowWindow(showCommand);
    ShowWindow(showCommand);
    const auto& boxes = OpenSkinMessageBoxes();
    if (!boxes.empty()) {
        CSkinDialog* frame = boxes.back();
        frame->ShowWindow(showCommand ? SW_SHOW : SW_HIDE);
        if (frame->content && frame->content->m_hWnd) frame->content->ShowWindow(showCommand ? SW_SHOW : SW_HIDE);
    }
}

void CMainBackgroundDialog::BringGroupToFront() {
    DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    DWORD thisThread = ::GetCurrentThreadId();
    bool attached = foregroundThread != thisThread && ::AttachThreadInput(thisThread, foregroundThread, TRUE);
    ShowWindow(SW_SHOWNORMAL);
    SetWindowPos(HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowPos(HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow();
    if (attached) ::AttachThreadInput(thisThread, foregroundThread, FALSE);
}

void CMainBackgroundDialog::OnMove(int x, int y) { MoveBy(0, 0); }

void CMainBackgroundDialog::OnSize(UINT type, int cx, int cy) {
    CLayeredBackgroundDialog::OnSize(type, cx, cy);  // default processing and UpdateLayered
    AlignChildren();
}
