#include "ui/SkinMessageBox.h"

#include <algorithm>

#include "launcher/LauncherLog.h"
#include "res/resource.h"
#include "ui/UiTexts.h"
#include "util/PngResource.h"
#include "util/UiScale.h"

namespace {

std::vector<CSkinDialog*>& BoxStack() {
    static std::vector<CSkinDialog*> stack;
    return stack;
}

// An answer button: its caption (fallback when the caller gave none) in white
// at 18 pixels, on the accent or the steel pair of images.
void SetUpAnswerButton(CSkinButton& button, const std::wstring& text, const wchar_t* fallback, bool accent) {
    button.SetWindowText(text.empty() ? std::wstring(fallback) : text);
    button.textColor = 0xFFFFFFFF;
    button.fontSize = 18;
    button.fontStyle = 0;
    if (accent) {
        button.SetImages(IDB_PNG_BUTTON_ACCENT, IDB_PNG_BUTTON_ACCENT_HOVER);
    } else {
        button.SetImages(IDB_PNG_BUTTON_STEEL, IDB_PNG_BUTTON_STEEL_HOVER);
    }
}

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

bool IsSingleButtonStyle(int style) {
    return style == 0 || style == 0x10 || style == 0x20 || style == 0x30 || style == 0x40 || style == 0x4000;
}

const std::vector<CSkinDialog*>& OpenSkinMessageBoxes() { return BoxStack(); }

// ---------------------------------------------------------------- CSkinUIDialog

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
        if (ShouldPaintBackground(paint.rcPaint) && backdrop) DrawBackdrop(graphics, 0, 0);
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

// -------------------------------------------------------------- CSkinMessageBox

CSkinMessageBox::CSkinMessageBox(CWnd* parent) : CSkinUIDialog(IDD_SKIN_MESSAGEBOX, parent) {
    marginLeft = 20;
    marginTop = 18;
    marginRight = 20;
    marginBottom = 18;
}

CSkinMessageBox::~CSkinMessageBox() {
    if (m_hWnd) DestroyWindow();
}

void CSkinMessageBox::DoDataExchange(CDataExchange* dx) {
    CSkinUIDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_MSGBOX_FIRST, firstButton);
    DDX_Control(dx, IDC_MSGBOX_SECOND, secondButton);
    DDX_Control(dx, IDC_MSGBOX_TEXT, messageLabel);
}

BOOL CSkinMessageBox::OnInitDialog() {
    CSkinUIDialog::OnInitDialog();
    confirmClose = 0;
    if (ownerDialog) SetConfirmClose(ownerDialog, 0);
    SkinMessageBoxData* data = Data();
    if (!data) return TRUE;

    messageLabel.textColor = 0xFFB0DBFF;
    messageLabel.fontSize = 18;
    messageLabel.fontStyle = 1;
    messageLabel.alignment = 1;
    messageLabel.lineAlignment = 1;
    messageLabel.shrinkToFit = 1;  // a long message is drawn smaller, never cut off
    messageLabel.SetText(data->text);
    SetWindowText(data->text);  // the box's name for accessibility clients; it has no caption to draw

    // The first button wears the accent pair and the second the steel one, unless swapped.
    const bool swap = data->swapImages != 0;
    SetUpAnswerButton(firstButton, data->firstButtonText, kTextOk, !swap);
    SetUpAnswerButton(secondButton, data->secondButtonText, kTextCancel, swap);

    PlaceControl(messageLabel, 9, 12, 305, 80);
    PlaceControl(firstButton, 12, 91, 149, 138);
    PlaceControl(secondButton, 172, 91, 309, 138);
    Relayout();
    return TRUE;
}

void CSkinMessageBox::Relayout() {
    SkinMessageBoxData* data = Data();
    if (!m_hWnd || !data) return;
    if (!IsSingleButtonStyle(data->style)) return;
    if (secondButton.m_hWnd) secondButton.ShowWindow(SW_HIDE);
    if (!firstButton.m_hWnd) return;
    RECT box, button;
    GetClientRect(&box);
    firstButton.GetWindowRect(&button);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&button), 2);
    int buttonWidth = button.right - button.left;
    int x = static_cast<int>(static_cast<float>((box.right - box.left) - buttonWidth) * 0.5f);
    if (x != button.left) {
        ::SetWindowPos(firstButton.m_hWnd, nullptr, x, button.top, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CSkinMessageBox::OnShowWindow(BOOL show, UINT status) {
    CSkinUIDialog::OnShowWindow(show, status);
    Relayout();
    // Traced once the box is in its final place and on the screen.
    if (show) PostMessage(kTraceButtonsMessage);
}

LRESULT CSkinMessageBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTraceButtonsMessage) {
        TraceButtonCentres();
        return 0;
    }
    return CSkinUIDialog::WindowProc(message, wParam, lParam);
}

void CSkinMessageBox::TraceButtonCentres() {
    // Where the answer buttons are on the screen, so that whoever reads the
    // trace (a person, the end-to-end tests) can find them without the layout.
    std::wstring line = L"launcher: message box buttons:";
    const std::pair<const wchar_t*, CSkinButton*> buttons[] = {{L"first", &firstButton}, {L"second", &secondButton}};
    for (const auto& [name, button] : buttons) {
        if (!button->m_hWnd || !::IsWindowVisible(button->m_hWnd)) continue;  // the second of a one-button box
        RECT rect;
        button->GetWindowRect(&rect);
        line += L" " + std::wstring(name) + L"=" + std::to_wstring((rect.left + rect.right) / 2) + L"," +
                std::to_wstring((rect.top + rect.bottom) / 2);
    }
    DebugTrace(line);
}

void CSkinMessageBox::OnSize(UINT type, int cx, int cy) {
    CSkinUIDialog::OnSize(type, cx, cy);
    Relayout();
}

BOOL CSkinMessageBox::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT id = LOWORD(wParam);
    if (id == IDC_MSGBOX_FIRST || id == IDC_MSGBOX_SECOND) {
        if (HIWORD(wParam) != BN_CLICKED) return TRUE;
        int answer = id == IDC_MSGBOX_FIRST ? 1 : 7;
        CDialog* loop = ownerDialog ? static_cast<CDialog*>(ownerDialog) : static_cast<CDialog*>(this);
        loop->EndDialog(answer);
        return TRUE;
    }
    return CSkinUIDialog::OnCommand(wParam, lParam);
}

// ------------------------------------------------------------------ CSkinDialog

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

// ----------------------------------------------------------- ShowSkinMessageBox

int ShowSkinMessageBox(const std::wstring& text, const RECT* placement, const std::wstring& firstButtonText,
                       const std::wstring& secondButtonText, int swapImages, HWND parent, int style) {
    // The parent as a window object: ours when it is one of our windows, else a
    // temporary wrapper for the call.
    CWnd foreignParent;
    CWnd* parentWnd = CWnd::FromHandlePermanent(parent);
    if (!parentWnd && parent && ::IsWindow(parent) && foreignParent.Attach(parent)) parentWnd = &foreignParent;

    // A box must be seen: bring a minimised owner group back first.
    if (parent && ::IsWindow(parent)) {
        HWND root = ::GetAncestor(parent, GA_ROOTOWNER);
        if (root && ::IsIconic(root)) ::ShowWindow(root, SW_RESTORE);
    }

    // 1. Hide the open boxes.
    for (CSkinDialog* open : BoxStack()) {
        open->ShowWindow(SW_HIDE);
        if (open->content && open->content->m_hWnd) open->content->ShowWindow(SW_HIDE);
    }

    // 2. and 3. The content with its data, and the frame.
    auto box = std::make_unique<CSkinMessageBox>(nullptr);
    box->SetUiData(std::make_unique<SkinMessageBoxData>(text, style, firstButtonText, secondButtonText, swapImages));
    auto frame = std::make_unique<CSkinDialog>(IDB_PNG_MSGBOX_FRAME, IDD_SKIN_FRAME, parentWnd);
    frame->content = std::move(box);
    frame->contentTemplateId = IDD_SKIN_MESSAGEBOX;
    if (placement) frame->placementRect = *placement;
    frame->draggable = 1;

    // 4. Run it.
    BoxStack().push_back(frame.get());
    int result = static_cast<int>(frame->DoModal());
    BoxStack().erase(std::remove(BoxStack().begin(), BoxStack().end(), frame.get()), BoxStack().end());

    // 5. Show the boxes under it again.
    for (CSkinDialog* open : BoxStack()) {
        open->ShowWindow(SW_SHOW);
        if (open->content && open->content->m_hWnd) open->content->ShowWindow(SW_SHOW);
    }
    if (!BoxStack().empty()) BoxStack().back()->BringGroupToFront();

    // 6. The frame goes with the box it owns.
    frame.reset();
    if (foreignParent.m_hWnd) foreignParent.Detach();
    return result;
}
