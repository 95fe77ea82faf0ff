// What a screen reader is told about the launcher's windows: names, roles and
// the bar's value, read through AccessibleObjectFromWindow as a client does.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleacc.h>

#include "MainWindowGroup.h"
#include "UiTestSupport.h"
#include "afx/ScopedWin.h"
#include "res/resource.h"
#include "ui/SkinMessageBox.h"
#include "ui/UiTexts.h"
#include "util/UiScale.h"

namespace {

struct Seen {
    std::wstring name;
    LONG role = -1;
    std::wstring value;
};

std::wstring TakeText(BSTR text) {
    std::wstring result = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
    ::SysFreeString(text);
    return result;
}

// The window's client object as an accessibility client gets it.
Seen WhatAClientSees(HWND window) {
    Seen seen;
    ScopedComPtr<IAccessible> object;
    if (FAILED(::AccessibleObjectFromWindow(window, OBJID_CLIENT, IID_IAccessible, object.ReceiveVoid())) ||
        !object) {
        seen.name = L"(no object)";
        return seen;
    }
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (SUCCEEDED(object->get_accName(self, &text))) seen.name = TakeText(text);
    VARIANT role;
    ::VariantInit(&role);
    if (SUCCEEDED(object->get_accRole(self, &role)) && role.vt == VT_I4) seen.role = role.lVal;
    text = nullptr;
    if (SUCCEEDED(object->get_accValue(self, &text))) seen.value = TakeText(text);
    return seen;
}

struct Expected {
    const char* what;
    HWND window;
    std::wstring name;
    LONG role;
    std::wstring value;
};

void ExpectSeen(const std::vector<Expected>& table) {
    for (const Expected& row : table) {
        Seen seen = WhatAClientSees(row.window);
        EXPECT_EQ(row.name, seen.name) << row.what;
        EXPECT_EQ(row.role, seen.role) << row.what;
        EXPECT_EQ(row.value, seen.value) << row.what;
    }
}

// Value changes of the client object of g_watchedBar, counted by a hook.
HWND g_watchedBar = nullptr;
int g_valueChanges = 0;
void CALLBACK CountValueChange(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (window == g_watchedBar && object == OBJID_CLIENT && child == CHILDID_SELF) ++g_valueChanges;
}

class AccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override { OverrideUiScaleForTesting(1.0f); }
};

TEST_F(AccessibilityTest, MainWindowNamesAndRoles) {
    MainWindowGroup group;
    CNewTalmoMainForegroundDialog& main = group.Foreground();
    auto item = [&](int id) { return main.GetDlgItem(id); };
    main.Flow().OnResourceDownloadStarted();
    main.Flow().OnDownloadProgress(225, 1000);  // the bar's first pass at 45 %, shown at its next tick
    ASSERT_TRUE(PumpUntil([&] { return ::SendMessageW(item(IDC_PROGRESS), PBM_GETPOS, 0, 0) == 45; }, 5000));
    ExpectSeen({
        {"background", group.background.m_hWnd, kTextLauncherTitle, ROLE_SYSTEM_CLIENT, L""},
        {"foreground", main.m_hWnd, kTextLauncherTitle, ROLE_SYSTEM_CLIENT, L""},
        {"minimise", item(IDC_MINIMIZE), L"最小化", ROLE_SYSTEM_PUSHBUTTON, L""},
        {"close", item(IDC_CLOSE), L"关闭", ROLE_SYSTEM_PUSHBUTTON, L""},
        {"chat group", item(IDC_CHAT_GROUP), L"玩家交流群", ROLE_SYSTEM_PUSHBUTTON, L""},
        {"status line", item(IDC_STATUS_TEXT), L"美女指挥官正在为您调配游戏资源...", ROLE_SYSTEM_STATICTEXT, L""},
        {"speed line", item(IDC_SPEED_TEXT), L"游戏初始化中...", ROLE_SYSTEM_STATICTEXT, L""},
        {"bar", item(IDC_PROGRESS), L"", ROLE_SYSTEM_PROGRESSBAR, L"45%"},
    });
    // The bar answers like a progress control with the range 0 to 100.
    ::KillTimer(main.m_hWnd, TIMER_PROGRESS_BAR);
    for (const auto& [fraction, position] : {std::pair<float, int>{0.0f, 0}, {0.004f, 0}, {0.996f, 100}, {1.0f, 100}}) {
        main.ShowBarFraction(fraction);
        EXPECT_EQ(position, ::SendMessageW(item(IDC_PROGRESS), PBM_GETPOS, 0, 0)) << fraction;
    }
}

TEST_F(AccessibilityTest, BarTellsClientsWhenItsPositionChanges) {
    MainWindowGroup group;
    CNewTalmoMainForegroundDialog& main = group.Foreground();
    g_watchedBar = main.GetDlgItem(IDC_PROGRESS);
    g_valueChanges = 0;
    HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr,
                                           &CountValueChange, ::GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_TRUE(hook);
    ::KillTimer(main.m_hWnd, TIMER_PROGRESS_BAR);  // only the fractions below reach the bar
    for (float fraction : {0.2f, 0.201f, 0.2f, 0.5f}) main.ShowBarFraction(fraction);
    PumpFor(200);
    ::UnhookWinEvent(hook);
    EXPECT_EQ(2, g_valueChanges);  // to 20 % and to 50 %: the same whole percent is not told again
}

TEST_F(AccessibilityTest, ABoxsTextAndButtonsCanBeRead) {
    MainWindowGroup group;
    const std::wstring text = L"加载服务器资源失败!";
    int answer = RunWithBoxProbe(
        [&] { return group.Foreground().AskUser(text, 1, L"重试", L"退出"); },
        [&](CSkinDialog* frame) {
            auto* box = dynamic_cast<CSkinMessageBox*>(frame->content.get());
            ASSERT_TRUE(box);
            ExpectSeen({
                {"box", box->m_hWnd, text, ROLE_SYSTEM_CLIENT, L""},
                {"text", box->messageLabel.m_hWnd, text, ROLE_SYSTEM_STATICTEXT, L""},
                {"first button", box->firstButton.m_hWnd, L"重试", ROLE_SYSTEM_PUSHBUTTON, L""},
                {"second button", box->secondButton.m_hWnd, L"退出", ROLE_SYSTEM_PUSHBUTTON, L""},
            });
            frame->EndDialog(7);
        });
    EXPECT_EQ(7, answer);
}

}  // namespace
