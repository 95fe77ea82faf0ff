#include "ui/LayeredBackgroundDialog.h"

#include <windowsx.h>
#include <cstring>

#include "util/PngResource.h"
#include "util/UiScale.h"

// The undocumented bit 0x04000000 of the described 0x0C080000 is set too.
static const DWORD kLayeredExStyle = WS_EX_LAYERED | WS_EX_NOACTIVATE | 0x04000000;

CLayeredBackgroundDialog::CLayeredBackgroundDialog(UINT templateId, UINT pngIdValue, CWnd* parent)
    : CDialogBase(templateId, parent), pngId(static_cast<int>(pngIdValue)) {
    image = LoadPngImage(pngIdValue);
    float scale = GetUiScale();
    if (image) {
        width = static_cast<int>(static_cast<float>(image->GetWidth()) * scale);
        height = static_cast<int>(static_cast<float>(image->GetHeight()) * scale);
    }
}

CLayeredBackgroundDialog::~CLayeredBackgroundDialog() {
    if (m_hWnd) DestroyWindow();
}

void CLayeredBackgroundDialog::OnSize(UINT type, int cx, int cy) {
    DefWindowProc(WM_SIZE, type, MAKELPARAM(cx, cy));
    UpdateLayered();
}

BOOL CLayeredBackgroundDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    UpdateLayered();
    return TRUE;
}

void CLayeredBackgroundDialog::UpdateLayered() {
    if (updating || !m_hWnd || !::IsWindow(m_hWnd)) return;
    updating = 1;

    RECT windowRect;
    GetWindowRect(&windowRect);
    POINT destination = {windowRect.left, windowRect.top};
    SIZE size = {width, height};
    POINT source = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, static_cast<BYTE>(alpha & 0xFF), AC_SRC_ALPHA};

    HDC windowDc = ::GetDC(m_hWnd);
    HDC memoryDc = ::CreateCompatibleDC(windowDc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);  // 40
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const int stride = ((width * 32 + 31) / 32) * 4;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(stride * height);
    void* bits = nullptr;
    HBITMAP dib = (width > 0 && height > 0)
                      ? ::CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                      : nullptr;
    if (dib && bits) {
        std::memset(bits, 0, static_cast<size_t>(stride) * static_cast<size_t>(height));  // fully transparent
        ModifyStyleEx(0, kLayeredExStyle);
        HGDIOBJ previous = ::SelectObject(memoryDc, dib);
        {
            // GDI+ draws straight into the DIB's pixels as premultiplied ARGB,
            // which is what UpdateLayeredWindow's per-pixel alpha expects. The
            // DIB is bottom-up: the top row is the last one in memory.
            BYTE* top = static_cast<BYTE*>(bits) + static_cast<size_t>(stride) * static_cast<size_t>(height - 1);
            Gdiplus::Bitmap surface(width, height, -stride, PixelFormat32bppPARGB, top);
            Gdiplus::Graphics graphics(&surface);
            graphics.SetSmoothingMode(Gdiplus::SmoothingModeNone);
            if (image) graphics.DrawImage(image.get(), 0, 0, width, height);
        }
        ::UpdateLayeredWindow(m_hWnd, windowDc, &destination, &size, memoryDc, &source, 0, &blend, ULW_ALPHA);
        ::SelectObject(memoryDc, previous);
        ::DeleteObject(dib);
    }
    ::DeleteDC(memoryDc);
    ::ReleaseDC(m_hWnd, windowDc);
    updating = 0;
}

LRESULT CLayeredBackgroundDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
        drag.Begin(m_hWnd);
        SetForegroundWindow();
        return DefWindowProc(message, wParam, lParam);
    case WM_MOUSEMOVE: {
        int dx, dy;
        if (drag.Move(&dx, &dy)) {
            MoveBy(dx, dy);
            return 0;
        }
        break;
    }
    case WM_LBUTTONUP:
        drag.End();
        return 0;
    case WM_CAPTURECHANGED:
        // Capture taken away (another window, a box): the drag is over.
        drag.OnCaptureLost();
        break;
    case WM_MOUSEACTIVATE:
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_MOVE:
        OnMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    default:
        break;
    }
    return CDialogBase::WindowProc(message, wParam, lParam);
}
