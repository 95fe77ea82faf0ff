#include "ui/DialogBase.h"

#include <cstdlib>
#include <ctime>

#include "ui/UiTexts.h"
#include "util/UiScale.h"

const std::vector<std::wstring>& WaitingTipTexts() {
    static const std::vector<std::wstring> tips = {
        L"万人同服，震撼全世界！可以再等等…",
        L"真实战斗场景！值得你的等待~",
        L"不再等等了吗… 纯3D特效战争场景哦！",
        L"玩命下载，很快的，您可以喝杯茶再等等~",
        L"无尽的战争，搞笑的战斗，值得拥有！",
        L"说什么好呢……还是再等等吧！",
    };
    return tips;
}

CDialogBase::CDialogBase(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}

CDialogBase::~CDialogBase() {
    // The window goes first, while this object's overrides still exist.
    if (m_hWnd) DestroyWindow();
    ResetGroupState();
}

void CDialogBase::ResetGroupState() {
    DestroyChildDialog();
    ownerDialog = nullptr;
    confirmClose = 1;
    waitingTips.clear();
}

void CDialogBase::OnShowWindow(BOOL show, UINT status) {
    DefWindowProc(WM_SHOWWINDOW, static_cast<WPARAM>(show), static_cast<LPARAM>(status));
    // Only a window being shown takes the foreground; a window being hidden
    // must not steal it from the window the user is answering.
    if (show) SetForegroundWindow();
}

void CDialogBase::DestroyChildDialog() {
    std::unique_ptr<CDialog> child = std::move(childDialog);
    if (!child) return;
    auto* childBase = dynamic_cast<CDialogBase*>(child.get());
    if (childBase && childBase->ownerDialog) {
        childBase->ownerDialog->EndDialog(7);
    } else {
        child->EndDialog(7);
    }
}

void CDialogBase::SetOwnerDialog(CDialogBase* owner) { ownerDialog = owner; }

int CDialogBase::ShowMessageBox(HWND owner, const std::wstring& text, int style,
                                const std::wstring& firstButtonText, const std::wstring& secondButtonText,
                                int swapImages) {
    if (!ownerDialog) return 1;
    return ownerDialog->ShowMessageBox(owner, text, style, firstButtonText, secondButtonText, swapImages);
}

void CDialogBase::ShowGroup(int showCommand) {
    if (ownerDialog) {
        ownerDialog->ShowGroup(showCommand);
    } else {
        ShowWindow(showCommand);
    }
}

void CDialogBase::BringGroupToFront() {
    if (ownerDialog) {
        ownerDialog->BringGroupToFront();
    } else {
        SetForegroundWindow();
    }
}

std::wstring CDialogBase::PickWaitingTip() {
    if (waitingTips.empty()) waitingTips = WaitingTipTexts();
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return waitingTips[static_cast<size_t>(std::rand()) % waitingTips.size()];
}

BOOL CDialogBase::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN &&
        (msg->wParam == VK_CANCEL || msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) {
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CDialogBase::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE: {
        if (ownerDialog) {
            SetConfirmClose(ownerDialog, confirmClose);
            if (ownerDialog->WindowProc(WM_CLOSE, wParam, lParam) == 1) return 1;
        } else {
            int answer = ShowMessageBox(m_hWnd, PickWaitingTip(), 4, kTextQuit, kTextCancel, 1);
            if (confirmClose && answer != 1) return 1;
        }
        OnCloseConfirmed();
        return CDialog::WindowProc(WM_CLOSE, wParam, lParam);
    }
    case WM_SHOWWINDOW:
        OnShowWindow(static_cast<BOOL>(wParam), static_cast<UINT>(lParam));
        return 0;
    case WM_DESTROY: {
        LRESULT result = CDialog::WindowProc(message, wParam, lParam);
        ResetGroupState();
        return result;
    }
    default:
        return CDialog::WindowProc(message, wParam, lParam);
    }
}

void SetConfirmClose(CDialogBase* dialog, int value) {
    // A chain never loops back on itself; the bound only guards against a bug.
    for (int guard = 0; dialog && guard < 64; dialog = dialog->ownerDialog, ++guard) {
        dialog->confirmClose = value;
    }
}

void ShowCentered(CWnd* dialog) {
    if (!dialog || !dialog->m_hWnd) return;
    dialog->ShowWindow(SW_SHOWNORMAL);
    RECT desktop, window;
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    dialog->GetWindowRect(&window);
    int desktopWidth = desktop.right - desktop.left;
    int desktopHeight = desktop.bottom - desktop.top;
    int width = window.right - window.left;
    int height = window.bottom - window.top;
    MoveWindowTo(dialog->m_hWnd, desktopWidth / 2 - width / 2, desktopHeight / 2 - height / 2);
}

// Flags of every move: keep size and z-order (SWP_NOSIZE | SWP_NOZORDER, the
// described 5) and never activate, so a move cannot take the activation away
// from the window the user works in (a box being answered stays active).
static const UINT kMoveFlags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;

void MoveWindowTo(HWND window, int x, int y) {
    WindowMoveBatch batch(1);
    batch.Move(window, x, y);
}

void MoveAndResizeWindow(HWND window, int x, int y, int cx, int cy) {
    MoveWindowTo(window, x, y);
    ::SetWindowPos(window, nullptr, 0, 0, cx, cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceControl(CWnd& control, int left, int top, int right, int bottom) {
    if (!control.m_hWnd) return;
    int x1 = Scaled(left), y1 = Scaled(top), x2 = Scaled(right), y2 = Scaled(bottom);
    control.MoveWindow(x1, y1, x2 - x1, y2 - y1);
}

WindowMoveBatch::WindowMoveBatch(int expected) : batch_(::BeginDeferWindowPos(expected)) {}

void WindowMoveBatch::Move(HWND window, int x, int y) {
    if (!window || !::IsWindow(window)) return;
    if (batch_) {
        batch_ = ::DeferWindowPos(batch_, window, nullptr, x, y, 0, 0, kMoveFlags);
    }
    if (!batch_) {
        // A failed batch is gone; the move is still made.
        ::SetWindowPos(window, nullptr, x, y, 0, 0, kMoveFlags);
    }
}

void WindowMoveBatch::Commit() {
    if (batch_) {
        ::EndDeferWindowPos(batch_);
        batch_ = nullptr;
    }
}

ContentPlacement PlaceContent(const RECT& host, const CDialogBase& content, float scale) {
    float hostWidth = static_cast<float>(host.right - host.left);
    float hostHeight = static_cast<float>(host.bottom - host.top);
    ContentPlacement placement;
    placement.offsetX = static_cast<int>(scale * static_cast<float>(content.marginLeft + content.offsetX));
    placement.offsetY = static_cast<int>(scale * static_cast<float>(content.marginTop + content.offsetY));
    placement.width = static_cast<int>(
        hostWidth - scale * static_cast<float>(content.marginLeft + 2 * content.offsetX + content.marginRight));
    placement.height = static_cast<int>(
        hostHeight - scale * static_cast<float>(content.marginTop + 2 * content.offsetY + content.marginBottom));
    return placement;
}

POINT PlaceSatellite(const RECT& host, const CDialogBase& satellite, float scale) {
    POINT at;
    at.x = host.left + static_cast<int>(scale * static_cast<float>(satellite.offsetX));
    at.y = host.top + static_cast<int>(scale * static_cast<float>(satellite.offsetY));
    return at;
}
