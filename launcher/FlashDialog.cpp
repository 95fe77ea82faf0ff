#include "launcher/FlashDialog.h"

#include "launcher/NewTalmoMainBackgroundDialog.h"
#include "res/resource.h"

CFlashDialog::CFlashDialog(CResourceManager& resources) : CDialogBase(IDD_FLASH, nullptr), resources_(resources) {
    offsetX = 278;
    offsetY = 119;
}

CFlashDialog::~CFlashDialog() = default;

BOOL CFlashDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    ModifyStyleEx(0, WS_EX_LAYERED | WS_EX_NOACTIVATE | 0x04000000);
    ::SetLayeredWindowAttributes(m_hWnd, 0, 0, LWA_ALPHA);
    firstPaintPending = 1;
    if (background) return TRUE;
    background = std::make_unique<CNewTalmoMainBackgroundDialog>(resources_);
    background->Create(IDD_SKIN_FRAME, this);
    background->ShowWindow(SW_SHOW);
    background->satellite = this;
    SetOwnerDialog(background.get());
    return TRUE;
}

void CFlashDialog::MoveBy(int dx, int dy) {
    if (ownerDialog) ownerDialog->MoveBy(dx, dy);
}

void CFlashDialog::OnSize(UINT type, int cx, int cy) {
    Default();
    MoveBy(0, 0);
}

void CFlashDialog::OnPaint() {
    PAINTSTRUCT ps;
    ::BeginPaint(m_hWnd, &ps);
    ::EndPaint(m_hWnd, &ps);
    if (firstPaintPending) {
        firstPaintPending = 0;
        ::SetLayeredWindowAttributes(m_hWnd, 0, 255, LWA_ALPHA);
    }
}

LRESULT CFlashDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        if (!foregroundRequested && background) {
            foregroundRequested = 1;
            background->ShowForeground();
            if (ownerDialog) ownerDialog->MoveBy(0, 0);
        }
        return TRUE;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        drag.Begin(m_hWnd);
        return 0;
    case WM_MOUSEMOVE: {
        int dx, dy;
        if (drag.Move(&dx, &dy)) MoveBy(dx, dy);
        return 0;
    }
    case WM_LBUTTONUP:
        drag.End();
        return 0;
    default:
        return CDialogBase::WindowProc(message, wParam, lParam);
    }
}
