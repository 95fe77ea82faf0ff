// The dialog base (owner chain, close confirmation, keyboard rule,
// layout rules) and the layered PNG window.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "res/resource.h"
#include "ui/DialogBase.h"
#include "ui/LayeredBackgroundDialog.h"
#include "ui/UiTexts.h"
#include "util/UiScale.h"

namespace {

// A dialog on the invisible template 134 whose message box is scripted and
// whose confirmed closes are recorded.
struct BoxCall {
    HWND owner;
    std::wstring text;
    int style;
    std::wstring first;
    std::wstring second;
    int swap;
};

class ScriptedDialog : public CDialogBase {
public:
    ScriptedDialog(std::vector<std::string>* log, std::string name)
        : CDialogBase(IDD_FLASH, nullptr), log_(log), name_(std::move(name)) {}
    ~ScriptedDialog() override {
        if (m_hWnd) DestroyWindow();
    }
    int answer = 1;
    bool scripted = true;
    std::vector<BoxCall> calls;

    int ShowMessageBox(HWND owner, const std::wstring& text, int style, const std::wstring& first,
                       const std::wstring& second, int swap) override {
        if (!scripted) return CDialogBase::ShowMessageBox(owner, text, style, first, second, swap);
        calls.push_back({owner, text, style, first, second, swap});
        return answer;
    }
    void OnCloseConfirmed() override { log_->push_back(name_ + ".OnCloseConfirmed"); }
    void OnCancel() override { log_->push_back(name_ + ".OnCancel"); }

private:
    std::vector<std::string>* log_;
    std::string name_;
};

class DialogBaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        OverrideUiScaleForTesting(1.0f);
        top = std::make_unique<ScriptedDialog>(&log, "top");
        middle = std::make_unique<ScriptedDialog>(&log, "middle");
        bottom = std::make_unique<ScriptedDialog>(&log, "bottom");
        ASSERT_TRUE(top->Create(IDD_FLASH, nullptr));
        ASSERT_TRUE(middle->Create(IDD_FLASH, top.get()));
        ASSERT_TRUE(bottom->Create(IDD_FLASH, middle.get()));
        middle->SetOwnerDialog(top.get());
        bottom->SetOwnerDialog(middle.get());
    }
    std::vector<std::string> log;
    std::unique_ptr<ScriptedDialog> top, middle, bottom;
};

bool IsWaitingTip(const std::wstring& text) {
    const auto& tips = WaitingTipTexts();
    return std::find(tips.begin(), tips.end(), text) != tips.end();
}

TEST_F(DialogBaseTest, DefaultsAreThoseDescribed) {
    CDialogBase fresh(IDD_FLASH, nullptr);
    EXPECT_EQ(1, fresh.confirmClose);
    EXPECT_EQ(0, fresh.draggable);
    EXPECT_EQ(nullptr, fresh.ownerDialog);
    EXPECT_EQ(nullptr, fresh.childDialog);
    EXPECT_EQ(0, fresh.offsetX + fresh.offsetY + fresh.marginLeft + fresh.marginTop + fresh.marginRight +
                     fresh.marginBottom);
    EXPECT_TRUE(fresh.waitingTips.empty());
}

TEST_F(DialogBaseTest, CloseFromBelowIsDecidedAtTheTopAndCancelKeepsEverything) {
    top->answer = 7;  // "取消"
    LRESULT result = ::SendMessageW(bottom->m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(1, result);
    ASSERT_EQ(1u, top->calls.size());
    EXPECT_TRUE(middle->calls.empty());
    EXPECT_TRUE(bottom->calls.empty());
    const BoxCall& call = top->calls[0];
    EXPECT_EQ(top->m_hWnd, call.owner);
    EXPECT_TRUE(IsWaitingTip(call.text));
    EXPECT_EQ(4, call.style);
    EXPECT_EQ(std::wstring(kTextQuit), call.first);
    EXPECT_EQ(std::wstring(kTextCancel), call.second);
    EXPECT_EQ(1, call.swap);
    PumpFor(100);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(::IsWindow(bottom->m_hWnd));
}

TEST_F(DialogBaseTest, QuitRunsTheTopsOnCloseConfirmedThenTheLowerOnes) {
    top->answer = 1;  // "退出"
    ::SendMessageW(bottom->m_hWnd, WM_CLOSE, 0, 0);
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ("top.OnCloseConfirmed", log[0]);
    EXPECT_EQ("middle.OnCloseConfirmed", log[1]);
    EXPECT_EQ("bottom.OnCloseConfirmed", log[2]);
    // The default processing of the close then cancels each dialog.
    PumpFor(100);
    EXPECT_NE(log.end(), std::find(log.begin(), log.end(), "bottom.OnCancel"));
}

TEST_F(DialogBaseTest, WithoutConfirmationTheTipIsStillShownAndEitherAnswerCloses) {
    SetConfirmClose(bottom.get(), 0);
    EXPECT_EQ(0, middle->confirmClose);
    EXPECT_EQ(0, top->confirmClose);
    top->answer = 7;
    LRESULT result = ::SendMessageW(bottom->m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_NE(1, result);
    EXPECT_EQ(1u, top->calls.size());
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ("top.OnCloseConfirmed", log[0]);
}

TEST_F(DialogBaseTest, ALowerWindowsConfirmationIsCopiedUpTheChain) {
    bottom->confirmClose = 0;
    top->answer = 7;
    ::SendMessageW(bottom->m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, top->confirmClose);
    EXPECT_EQ("top.OnCloseConfirmed", log.at(0));
}

TEST_F(DialogBaseTest, ShowMessageBoxClimbsTheChainAndWithoutOwnerAnswersOne) {
    top->answer = 7;
    bottom->scripted = false;  // both forward like any CDialogBase
    middle->scripted = false;
    EXPECT_EQ(7, bottom->ShowMessageBox(nullptr, L"x", 1, L"", L"", 0));
    EXPECT_EQ(1u, top->calls.size());
    CDialogBase alone(IDD_FLASH, nullptr);
    EXPECT_EQ(1, alone.ShowMessageBox(nullptr, L"x", 1, L"", L"", 0));
}

TEST_F(DialogBaseTest, EnterEscapeAndCtrlBreakAreSwallowed) {
    for (WPARAM key : {VK_RETURN, VK_ESCAPE, VK_CANCEL}) {
        MSG msg = {bottom->m_hWnd, WM_KEYDOWN, key, 1, 0, {0, 0}};
        EXPECT_TRUE(AfxPreTranslateMessage(&msg)) << key;
    }
    // Key releases and other keys go on to the dialog manager.
    MSG release = {bottom->m_hWnd, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC0000001), 0, {0, 0}};
    CDialog plain(IDD_FLASH, nullptr);
    ASSERT_TRUE(plain.Create(IDD_FLASH, nullptr));
    MSG same = release;
    same.hwnd = plain.m_hWnd;
    EXPECT_EQ(plain.PreTranslateMessage(&same), bottom->PreTranslateMessage(&release));
    MSG mouse = {bottom->m_hWnd, WM_MOUSEMOVE, 0, 0, 0, {0, 0}};
    EXPECT_FALSE(AfxPreTranslateMessage(&mouse));
}

TEST_F(DialogBaseTest, WaitingTipsAreFilledOnFirstUseAndPickedByTheSecond) {
    EXPECT_TRUE(top->waitingTips.empty());
    std::wstring first = top->PickWaitingTip();
    std::wstring second = top->PickWaitingTip();
    EXPECT_EQ(6u, top->waitingTips.size());
    EXPECT_TRUE(IsWaitingTip(first));
    // Same second, same seed, same tip (unless the clock ticked in between).
    if (first != second) {
        EXPECT_TRUE(IsWaitingTip(second));
    }
    EXPECT_EQ(L"万人同服，震撼全世界！可以再等等…", WaitingTipTexts()[0]);
    EXPECT_EQ(L"说什么好呢……还是再等等吧！", WaitingTipTexts()[5]);
}

TEST_F(DialogBaseTest, ShowGroupAndBringGroupToFrontForwardToTheTop) {
    bottom->ShowGroup(SW_SHOWNOACTIVATE);
    EXPECT_TRUE(top->IsWindowVisible());
    EXPECT_FALSE(bottom->IsWindowVisible());
    top->ShowGroup(SW_HIDE);
    EXPECT_FALSE(top->IsWindowVisible());
}

TEST_F(DialogBaseTest, DestroyingADialogEndsItsChildAndResetsItsGroupState) {
    auto child = std::make_unique<ScriptedDialog>(&log, "child");
    ASSERT_TRUE(child->Create(IDD_FLASH, middle.get()));
    child->SetOwnerDialog(middle.get());
    middle->childDialog = std::move(child);
    middle->confirmClose = 0;
    middle->PickWaitingTip();
    middle->DestroyWindow();
    EXPECT_EQ(nullptr, middle->childDialog);
    EXPECT_EQ(nullptr, middle->ownerDialog);
    EXPECT_EQ(1, middle->confirmClose);
    EXPECT_TRUE(middle->waitingTips.empty());
}

TEST(DialogLayoutTest, ContentRuleWithTheMessageBoxMargins) {
    CDialogBase content(IDD_FLASH, nullptr);
    content.marginLeft = 20;
    content.marginTop = 18;
    content.marginRight = 20;
    content.marginBottom = 18;
    RECT frame = {100, 50, 466, 234};
    ContentPlacement at1 = PlaceContent(frame, content, 1.0f);
    EXPECT_EQ(20, at1.offsetX);
    EXPECT_EQ(18, at1.offsetY);
    EXPECT_EQ(326, at1.width);
    EXPECT_EQ(148, at1.height);
    RECT frame15 = {0, 0, 549, 276};
    ContentPlacement at15 = PlaceContent(frame15, content, 1.5f);
    EXPECT_EQ(30, at15.offsetX);
    EXPECT_EQ(27, at15.offsetY);
    EXPECT_EQ(489, at15.width);
    EXPECT_EQ(222, at15.height);
}

TEST(DialogLayoutTest, ContentRuleWithOffsetsAndTheForegroundsLeftMargin) {
    CDialogBase foreground(IDD_FLASH, nullptr);
    foreground.marginLeft = 200;
    RECT background = {10, 20, 997, 408};
    ContentPlacement at = PlaceContent(background, foreground, 1.0f);
    EXPECT_EQ(200, at.offsetX);
    EXPECT_EQ(0, at.offsetY);
    EXPECT_EQ(787, at.width);
    EXPECT_EQ(388, at.height);
    CDialogBase shifted(IDD_FLASH, nullptr);
    shifted.offsetX = 5;
    shifted.offsetY = 3;
    RECT host = {0, 0, 100, 60};
    ContentPlacement s = PlaceContent(host, shifted, 0.711f);
    EXPECT_EQ(3, s.offsetX);   // 3.555
    EXPECT_EQ(2, s.offsetY);   // 2.133
    EXPECT_EQ(92, s.width);    // 100 - 7.11
    EXPECT_EQ(55, s.height);   // 60 - 4.266
}

TEST(DialogLayoutTest, SatelliteRidesAtItsScaledOffsets) {
    CDialogBase root(IDD_FLASH, nullptr);
    root.offsetX = 278;
    root.offsetY = 119;
    RECT background = {100, 200, 1087, 588};
    POINT at = PlaceSatellite(background, root, 1.0f);
    EXPECT_EQ(378, at.x);
    EXPECT_EQ(319, at.y);
    POINT at15 = PlaceSatellite(background, root, 1.5f);
    EXPECT_EQ(100 + 417, at15.x);
    EXPECT_EQ(200 + 178, at15.y);
}

TEST(DialogLayoutTest, MovesKeepSizeAndResizesKeepPosition) {
    CDialog dialog(IDD_FLASH, nullptr);
    ASSERT_TRUE(dialog.Create(IDD_FLASH, nullptr));
    RECT before = WindowRectOf(dialog.m_hWnd);
    MoveWindowTo(dialog.m_hWnd, 123, 45);
    RECT moved = WindowRectOf(dialog.m_hWnd);
    EXPECT_EQ(123, moved.left);
    EXPECT_EQ(45, moved.top);
    EXPECT_EQ(before.right - before.left, moved.right - moved.left);
    MoveAndResizeWindow(dialog.m_hWnd, 200, 100, 300, 150);
    RECT sized = WindowRectOf(dialog.m_hWnd);
    EXPECT_EQ(200, sized.left);
    EXPECT_EQ(100, sized.top);
    EXPECT_EQ(300, sized.right - sized.left);
    EXPECT_EQ(150, sized.bottom - sized.top);
    ShowCentered(&dialog);
    RECT centred = WindowRectOf(dialog.m_hWnd);
    EXPECT_EQ(1920 / 2 - 300 / 2, centred.left);
    EXPECT_EQ(1080 / 2 - 150 / 2, centred.top);
    EXPECT_TRUE(dialog.IsWindowVisible());
}

// ------------------------------------------------------------ layered window

class LayeredTest : public ::testing::Test {
protected:
    void TearDown() override { OverrideUiScaleForTesting(1.0f); }
};

TEST_F(LayeredTest, WindowTakesThePngsSizeTimesTheScaleTruncated) {
    OverrideUiScaleForTesting(1.0f);
    CLayeredBackgroundDialog at1(IDD_SKIN_FRAME, IDB_PNG_MSGBOX_FRAME, nullptr);
    EXPECT_EQ(366, at1.width);
    EXPECT_EQ(184, at1.height);
    EXPECT_EQ(255, at1.alpha);
    EXPECT_EQ(static_cast<int>(IDB_PNG_MSGBOX_FRAME), at1.pngId);
    OverrideUiScaleForTesting(1.5f);
    CLayeredBackgroundDialog at15(IDD_SKIN_FRAME, IDB_PNG_MSGBOX_FRAME, nullptr);
    EXPECT_EQ(549, at15.width);
    EXPECT_EQ(276, at15.height);
    OverrideUiScaleForTesting(0.711f);
    CLayeredBackgroundDialog small(IDD_SKIN_FRAME, IDB_PNG_MSGBOX_FRAME, nullptr);
    EXPECT_EQ(260, small.width);
    EXPECT_EQ(130, small.height);
    ASSERT_TRUE(small.Create(IDD_SKIN_FRAME, nullptr));
    RECT r = WindowRectOf(small.m_hWnd);
    EXPECT_EQ(260, r.right - r.left);
    EXPECT_EQ(130, r.bottom - r.top);
    EXPECT_EQ(0x0C080000u, small.GetExStyle() & 0x0C080000u);
}

TEST_F(LayeredTest, PixelsAreThePngWithPerPixelAlphaAndFadeWithTheConstantAlpha) {
    OverrideUiScaleForTesting(1.0f);
    RECT area = {300, 300, 900, 700};
    ColorBackdrop backdrop(area, RGB(0, 255, 0));
    CLayeredBackgroundDialog frame(IDD_SKIN_FRAME, IDB_PNG_MSGBOX_FRAME, nullptr);
    frame.alpha = 0;
    ASSERT_TRUE(frame.Create(IDD_SKIN_FRAME, nullptr));
    MoveWindowTo(frame.m_hWnd, 400, 400);
    frame.UpdateLayered();
    PumpFor(300);
    // Fully transparent at alpha 0: the green underneath everywhere.
    EXPECT_TRUE(ColorNear(ScreenPixel(400 + 183, 400 + 92), RGB(0, 255, 0), 10));
    frame.alpha = 255;
    frame.UpdateLayered();
    PumpFor(300);
    EXPECT_TRUE(ColorNear(ScreenPixel(401, 401), RGB(0, 255, 0), 10));          // transparent corner
    EXPECT_FALSE(ColorNear(ScreenPixel(400 + 183, 400 + 92), RGB(0, 255, 0), 60)); // opaque panel
    // A nested call does nothing.
    frame.updating = 1;
    frame.alpha = 0;
    frame.UpdateLayered();
    PumpFor(200);
    EXPECT_FALSE(ColorNear(ScreenPixel(400 + 183, 400 + 92), RGB(0, 255, 0), 60));
    EXPECT_EQ(1, frame.updating);
    frame.updating = 0;
}

TEST_F(LayeredTest, EraseIsSwallowedAndActivationByMouseAnswersZero) {
    CLayeredBackgroundDialog frame(IDD_SKIN_FRAME, IDB_PNG_MSGBOX_FRAME, nullptr);
    ASSERT_TRUE(frame.Create(IDD_SKIN_FRAME, nullptr));
    HDC dc = ::GetDC(frame.m_hWnd);
    EXPECT_EQ(TRUE, ::SendMessageW(frame.m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
    ::ReleaseDC(frame.m_hWnd, dc);
    EXPECT_EQ(0, ::SendMessageW(frame.m_hWnd, WM_MOUSEACTIVATE, 0, 0));
}

}  // namespace
