#include "ui/SkinUIDialog.h"

CSkinUIDialog::CSkinUIDialog(UINT templateId, CWnd* parent) : CDialogBase(templateId, parent) {}

CSkinUIDialog::~CSkinUIDialog() {
    if (m_hWnd) DestroyWindow();
}

void CSkinUIDialog::SetBackdrop(std::unique_ptr<Gdiplus::Bitmap> bitmap) {
    backdrop = std::move(bitmap);
    if (m_hWnd) ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

BOOL CSkinUIDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    // The controls paint the backdrop under themselves (ISkinBackdropHost), so
    // this window never paints over them, whatever order the paints come in.
    ModifyStyle(0, WS_CLIPCHILDREN);
    ModifyStyleEx(0, WS_EX_COMPOSITED | WS_EX_LAYERED);
    ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
    ::SetLayeredWindowAttributes(m_hWnd, 0, 0, LWA_ALPHA);  // invisible until the first paint
    return TRUE;
}

void CSkinUIDialog::DrawBackdrop(Gdiplus::Graphics& graphics, int originX, int originY) {
    RECT client;
    GetClientRect(&client);
    graphics.DrawImage(backdrop.get(), originX, originY, static_cast<INT>(client.right + 1), static_cast<INT>(client.bottom + 1));
}

void CSkinUIDialog::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    {
        Gdiplus::Graphics graphics(dc);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
        if (backdrop) DrawBackdrop(graphics, 0, 0);
    }
    if (!(GetExStyle() & WS_EX_LAYERED)) ModifyStyleEx(0, WS_EX_LAYERED);
    ::SetLayeredWindowAttributes(m_hWnd, RGB(255, 255, 255), 255, LWA_ALPHA);
    ::EndPaint(m_hWnd, &paint);
}

bool CSkinUIDialog::PaintBackdropUnder(HWND child, HDC dc) {
    if (!backdrop || !m_hWnd) return false;
    const POINT origin = ChildOriginInHost(m_hWnd, child);
    Gdiplus::Graphics graphics(dc);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
    DrawBackdrop(graphics, -origin.x, -origin.y);
    return true;
}

void CSkinUIDialog::OnSize(UINT type, int cx, int cy) {
    DefWindowProc(WM_SIZE, type, MAKELPARAM(cx, cy));
    if (ownerDialog) ownerDialog->MoveBy(0, 0);
}

void CSkinUIDialog::OnShowWindow(BOOL show, UINT status) {
    CDialogBase::OnShowWindow(show, status);
    if (ownerDialog) ownerDialog->MoveBy(0, 0);
}

LRESULT CSkinUIDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        // The paint covers the whole client area with the backdrop.
        if (backdrop) return TRUE;
        break;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        if (draggable) {
            drag.Begin(m_hWnd);
            return 0;
        }
        break;
    case WM_MOUSEMOVE: {
        int dx, dy;
        if (drag.Move(&dx, &dy)) {
            if (ownerDialog) ownerDialog->MoveBy(dx, dy);
            return 0;
        }
        break;
    }
    case WM_LBUTTONUP:
        if (drag.IsDragging()) {
            drag.End();
            return 0;
        }
        break;
    case WM_CAPTURECHANGED:
        drag.OnCaptureLost();
        break;
    default:
        break;
    }
    return CDialogBase::WindowProc(message, wParam, lParam);
}
