#include "ui/SkinMessageBox.h"

#include <algorithm>

#include "res/resource.h"
#include "ui/UiTexts.h"
#include "util/DebugTrace.h"
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

}  // namespace

bool IsSingleButtonStyle(int style) {
    return style == 0 || style == 0x10 || style == 0x20 || style == 0x30 || style == 0x40 || style == 0x4000;
}

const std::vector<CSkinDialog*>& OpenSkinMessageBoxes() { return BoxStack(); }

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
