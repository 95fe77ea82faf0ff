#include "ui/SkinDialog.h"

#include <algorithm>

#include "ui/SkinMessageBox.h"
#include "ui/SkinUIDialog.h"
#include "util/PngResource.h"
#include "util/UiScale.h"

namespace {

// Keeps a window whole inside the work area of the monitor it is (mostly) on,
// so a box can always be seen and answered, even when its placement lies
// partly off the screen (a main window dragged to the edge).
void KeepOnScreen(HWND window) {
    RECT rect;
    ::GetWindowRect(window, &rect);
    HMONITOR monitor = ::MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!monitor || !::GetMonitorInfoW(monitor, &info)) return;
    const RECT& work = info.rcWork;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    int x = std::max(static_cast<int>(work.left), std::min(static_cast<int>(rect.left), static_cast<int>(work.right) - width));
    int y = std::max(static_cast<int>(work.top), std::min(static_cast<int>(rect.top), static_cast<int>(work.bottom) - height));
    if (x != rect.left || y != rect.top) MoveWindowTo(window, x, y);
}

}  // namespace

CSkinDialog::CSkinDialog(UINT pngIdValue, UINT templateId, CWnd* parent)
    : CLayeredBackgroundDialog(templateId, pngIdValue, parent) {}

CSkinDialog::~CSkinDialog() {
    if (m_hWnd) DestroyWindow();
}

BOOL CSkinDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    UpdateLayered();

    // Place the frame.
    RECT frame;
    GetWindowRect(&frame);
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    // Centred in the placement rectangle, else on the owner, else on the screen.
    RECT ownerRect;
    const RECT* around = placementRect ? &*placementRect : nullptr;
    if (!around && owner) {
        ::GetWindowRect(owner, &ownerRect);
        around = &ownerRect;
    }
    if (around) {
        const RECT& r = *around;
        MoveWindowTo(m_hWnd, r.left + (r.right - r.left) / 2 - frameWidth / 2,
                     r.top + (r.bottom - r.top) / 2 - frameHeight / 2);
    } else {
        ShowCentered(this);
    }
    KeepOnScreen(m_hWnd);

    // The frame is shown before its content (the template is visible anyway), so
    // the content, shown after it, lies above it on every platform layer, also
    // where the X server stacks windows in the order they appear.
    ShowWindow(SW_SHOWNORMAL);

    // The content window.
    if (!content) content = std::make_unique<CSkinUIDialog>(static_cast<UINT>(contentTemplateId), this);
    content->draggable = draggable;
    content->SetOwnerDialog(this);
    if (content->Create(static_cast<UINT>(contentTemplateId), this)) {
        content->ShowWindow(SW_SHOW);
        ::SetWindowPos(content->m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        // Size and place it by the content rule, then give it the frame's picture under it.
        const float scale = GetUiScale();
        GetWindowRect(&frame);
        ContentPlacement placement = PlaceContent(frame, *content, scale);
        MoveAndResizeWindow(content->m_hWnd, frame.left + placement.offsetX, frame.top + placement.offsetY,
                            placement.width, placement.height);
        content->SetBackdrop(LoadPngBitmap(static_cast<UINT>(pngId),
                                           static_cast<int>(static_cast<float>(placement.offsetX) / scale),
                                           static_cast<int>(static_cast<float>(placement.offsetY) / scale),
                                           static_cast<int>(static_cast<float>(placement.width) / scale),
                                           static_cast<int>(static_cast<float>(placement.height) / scale)));
    }

    // No taskbar button of its own: the box belongs to its owner's group. A box
    // without any owner keeps its taskbar button, so it can never be lost.
    if (owner) ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
    return TRUE;
}

void CSkinDialog::MoveBy(int dx, int dy) {
    if (!draggable || !m_hWnd) return;
    RECT frame;
    GetWindowRect(&frame);
    const int x = frame.left + dx;
    const int y = frame.top + dy;
    const float scale = GetUiScale();
    WindowMoveBatch batch(2);
    batch.Move(m_hWnd, x, y);
    if (content && content->m_hWnd) {
        batch.Move(content->m_hWnd,
                   x + static_cast<int>(scale * static_cast<float>(content->marginLeft + content->offsetX)),
                   y + static_cast<int>(scale * static_cast<float>(content->marginTop + content->offsetY)));
    }
}

int CSkinDialog::ShowMessageBox(HWND, const std::wstring& text, int style, const std::wstring& firstButtonText,
                                const std::wstring& secondButtonText, int swapImages) {
    HWND contentWindow = content ? content->m_hWnd : nullptr;
    EnableWindow(FALSE);
    if (contentWindow) ::EnableWindow(contentWindow, FALSE);
    RECT placement;
    GetWindowRect(&placement);
    HWND parent = contentWindow ? contentWindow : m_hWnd;
    int answer = ShowSkinMessageBox(text, &placement, firstButtonText, secondButtonText, swapImages, parent, style);
    if (m_hWnd) EnableWindow(TRUE);
    if (contentWindow && ::IsWindow(contentWindow)) ::EnableWindow(contentWindow, TRUE);
    return answer;
}

void CSkinDialog::BringGroupToFront() {
    if (content && content->m_hWnd) content->SetForegroundWindow();
    SetForegroundWindow();
}
