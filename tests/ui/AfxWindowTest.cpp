// The window classes of our MFC-like layer (afx/Wnd.h, afx/Dialog.h, afx/Controls.h).
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "UiTestSupport.h"
#include "afx/Controls.h"
#include "afx/Dialog.h"
#include "res/resource.h"

namespace {

class RecordingDialog : public CDialog {
public:
    explicit RecordingDialog(UINT id) : CDialog(id, nullptr) {}
    std::vector<UINT> messages;
    int initCalls = 0;
    int exchanges = 0;
    bool visibleAtFirstIdle = false;
    CButton first;
    CStatic text;

    BOOL OnInitDialog() override {
        ++initCalls;
        return CDialog::OnInitDialog();
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        return CDialog::WindowProc(message, wParam, lParam);
    }

protected:
    void DoDataExchange(CDataExchange* dx) override {
        ++exchanges;
        DDX_Control(dx, IDC_MSGBOX_FIRST, first);
        DDX_Control(dx, IDC_MSGBOX_TEXT, text);
    }
};

class DrawRecordingButton : public CButton {
public:
    int draws = 0;
    void DrawItem(DRAWITEMSTRUCT* item) override { ++draws; }
};

RecordingDialog* g_modal = nullptr;
void CALLBACK EndModalTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    if (g_modal) {
        g_modal->visibleAtFirstIdle = g_modal->IsWindowVisible();
        g_modal->EndDialog(42);
    }
}

TEST(AfxWindowTest, CreateAttachesBeforeTheFirstMessageAndRunsInitAndExchange) {
    RecordingDialog dialog(IDD_SKIN_MESSAGEBOX);
    ASSERT_TRUE(dialog.Create(IDD_SKIN_MESSAGEBOX, nullptr));
    EXPECT_EQ(&dialog, CWnd::FromHandlePermanent(dialog.m_hWnd));
    ASSERT_FALSE(dialog.messages.empty());
    // WM_NCCREATE or WM_GETMINMAXINFO come before WM_CREATE; both before WM_INITDIALOG.
    auto position = [&](UINT m) {
        for (size_t i = 0; i < dialog.messages.size(); ++i) {
            if (dialog.messages[i] == m) return static_cast<int>(i);
        }
        return -1;
    };
    EXPECT_GE(position(WM_CREATE), 0);
    EXPECT_LT(position(WM_CREATE), position(WM_INITDIALOG));
    EXPECT_EQ(1, dialog.initCalls);
    EXPECT_EQ(1, dialog.exchanges);
    EXPECT_EQ(&dialog.first, CWnd::FromHandlePermanent(dialog.GetDlgItem(IDC_MSGBOX_FIRST)));
    EXPECT_EQ(&dialog.text, CWnd::FromHandlePermanent(dialog.GetDlgItem(IDC_MSGBOX_TEXT)));
    HWND window = dialog.m_hWnd;
    dialog.DestroyWindow();
    EXPECT_EQ(nullptr, dialog.m_hWnd);
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(window));
    EXPECT_EQ(nullptr, dialog.first.m_hWnd);
}

TEST(AfxWindowTest, DoModalShowsAnInvisibleTemplateAtIdleAndReturnsTheEndValue) {
    RecordingDialog dialog(IDD_FLASH);  // not visible in its template
    g_modal = &dialog;
    ::SetTimer(nullptr, 0, 300, &EndModalTimer);
    INT_PTR result = dialog.DoModal();
    g_modal = nullptr;
    EXPECT_EQ(42, result);
    EXPECT_TRUE(dialog.visibleAtFirstIdle);
    EXPECT_EQ(nullptr, dialog.m_hWnd);  // destroyed when the loop ended
}

bool g_ownerEnabledMeanwhile = true;
HWND g_ownerWindow = nullptr;
void CALLBACK CheckOwnerTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    g_ownerEnabledMeanwhile = ::IsWindowEnabled(g_ownerWindow);
    if (g_modal) g_modal->EndDialog(3);
}

TEST(AfxWindowTest, DoModalDisablesTheOwnerMeanwhile) {
    CDialog owner(IDD_FLASH, nullptr);
    ASSERT_TRUE(owner.Create(IDD_FLASH, nullptr));
    struct Probe : RecordingDialog {
        explicit Probe(CWnd* parent) : RecordingDialog(IDD_FLASH) { m_pParentWnd = parent; }
    } dialog(&owner);
    g_ownerWindow = owner.m_hWnd;
    g_modal = &dialog;
    ::SetTimer(nullptr, 0, 200, &CheckOwnerTimer);
    EXPECT_EQ(3, dialog.DoModal());
    g_modal = nullptr;
    EXPECT_FALSE(g_ownerEnabledMeanwhile);
    EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST(AfxWindowTest, DrawItemIsReflectedToTheOwnerDrawnButton) {
    CDialog dialog(IDD_SKIN_MESSAGEBOX, nullptr);
    ASSERT_TRUE(dialog.Create(IDD_SKIN_MESSAGEBOX, nullptr));
    DrawRecordingButton button;
    ASSERT_TRUE(button.SubclassDlgItem(IDC_MSGBOX_FIRST, &dialog));
    button.ModifyStyle(BS_TYPEMASK, BS_OWNERDRAW);
    dialog.ShowWindow(SW_SHOWNOACTIVATE);
    button.Invalidate();
    PumpFor(200);
    EXPECT_GT(button.draws, 0);
}

TEST(AfxWindowTest, SubclassingRoutesMessagesAndUnsubclassingRestores) {
    CDialog dialog(IDD_SKIN_MESSAGEBOX, nullptr);
    ASSERT_TRUE(dialog.Create(IDD_SKIN_MESSAGEBOX, nullptr));
    HWND item = dialog.GetDlgItem(IDC_MSGBOX_TEXT);
    WNDPROC original = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(item, GWLP_WNDPROC));
    CStatic label;
    ASSERT_TRUE(label.SubclassWindow(item));
    EXPECT_FALSE(CWnd().SubclassWindow(item));  // one object per window
    label.SetWindowText(L"文字");
    EXPECT_EQ(L"文字", label.GetWindowText());
    EXPECT_EQ(item, label.UnsubclassWindow());
    EXPECT_EQ(original, reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(item, GWLP_WNDPROC)));
    EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(item));
}

}  // namespace
