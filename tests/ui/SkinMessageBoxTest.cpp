// On the real screen: the skinned message box under Xvfb and Wine,
// checked by its pixels and answered with synthesised clicks.
#include <gtest/gtest.h>

#include <windows.h>

#include "UiTestSupport.h"
#include "res/resource.h"
#include "ui/SkinMessageBox.h"
#include "ui/UiTexts.h"
#include "util/UiScale.h"

namespace {

const COLORREF kMagenta = RGB(255, 0, 255);
// The area the tests place their boxes in, with a magenta window under it.
const RECT kArea = {660, 340, 1260, 740};

const RECT* Placement() { return &kArea; }

RECT ContentRect(CSkinDialog* frame) { return WindowRectOf(frame->content->m_hWnd); }

CSkinMessageBox* BoxOf(CSkinDialog* frame) { return dynamic_cast<CSkinMessageBox*>(frame->content.get()); }

POINT CenterOf(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Warm (the accent button's amber) and steel (the second button's blue-grey).
bool IsWarm(COLORREF c) { return GetRValue(c) > GetBValue(c) + 60 && GetRValue(c) > 120; }
bool IsSteel(COLORREF c) { return GetBValue(c) >= GetRValue(c) && GetBValue(c) > 50; }

class SkinMessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override { OverrideUiScaleForTesting(1.0f); }
    void TearDown() override { OverrideUiScaleForTesting(1.0f); }
};

TEST_F(SkinMessageBoxTest, FrameCornersAreTransparentAndImagesAndTextAreDrawn) {
    ColorBackdrop backdrop(kArea, kMagenta);
    int answer = RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"网络连接失败", Placement(), L"", L"", 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            RECT f = WindowRectOf(frame->m_hWnd);
            EXPECT_EQ(366, f.right - f.left);
            EXPECT_EQ(184, f.bottom - f.top);
            // Centred in the placement rectangle.
            EXPECT_EQ(kArea.left + 300 - 183, f.left);
            EXPECT_EQ(kArea.top + 200 - 92, f.top);
            // The PNG's transparent corners show the window underneath.
            EXPECT_TRUE(ColorNear(ScreenPixel(f.left + 1, f.top + 1), kMagenta, 10));
            EXPECT_TRUE(ColorNear(ScreenPixel(f.right - 2, f.top + 1), kMagenta, 10));
            EXPECT_TRUE(ColorNear(ScreenPixel(f.left + 1, f.bottom - 2), kMagenta, 10));
            EXPECT_TRUE(ColorNear(ScreenPixel(f.right - 2, f.bottom - 2), kMagenta, 10));
            // The steel rim and the navy panel are opaque.
            EXPECT_FALSE(ColorNear(ScreenPixel(f.left + 12, (f.top + f.bottom) / 2), kMagenta, 60));
            RECT panel = {f.left + 30, f.top + 25, f.left + 60, f.top + 40};
            COLORREF navy = AverageColor(panel);
            EXPECT_LT(GetRValue(navy), 80);
            EXPECT_GT(GetBValue(navy), GetRValue(navy));

            // The content lies on the frame at the margins 20, 18 and is 326 x 148.
            RECT c = ContentRect(frame);
            EXPECT_EQ(f.left + 20, c.left);
            EXPECT_EQ(f.top + 18, c.top);
            EXPECT_EQ(326, c.right - c.left);
            EXPECT_EQ(148, c.bottom - c.top);

            // Button images: the first is the accent pair, the second the steel pair.
            CSkinMessageBox* box = BoxOf(frame);
            ASSERT_NE(nullptr, box);
            RECT first = WindowRectOf(box->firstButton.m_hWnd);
            RECT second = WindowRectOf(box->secondButton.m_hWnd);
            EXPECT_EQ(137, first.right - first.left);
            EXPECT_EQ(47, first.bottom - first.top);
            EXPECT_TRUE(IsWarm(AverageColor(Shrunk(first, 6))));
            EXPECT_TRUE(IsSteel(AverageColor(Shrunk(second, 6))));
            // White caption pixels on both buttons.
            EXPECT_GT(CountBrightPixels(Shrunk(first, 4), 235), 15);
            EXPECT_GT(CountBrightPixels(Shrunk(second, 4), 235), 15);
            // The message is drawn in light blue on the navy panel.
            RECT label = WindowRectOf(box->messageLabel.m_hWnd);
            int text = 0;
            {
                int total = 0;
                for (int y = label.top; y < label.bottom; y += 1) {
                    for (int x = label.left; x < label.right; x += 2) {
                        COLORREF px = ScreenPixel(x, y);
                        ++total;
                        if (GetBValue(px) > 170 && GetGValue(px) > 140) ++text;
                    }
                    if (total > 4000) break;
                }
            }
            EXPECT_GT(text, 20);
            frame->EndDialog(1);
        });
    EXPECT_EQ(1, answer);
}

TEST_F(SkinMessageBoxTest, ClickingTheFirstButtonAnswersOne) {
    ColorBackdrop backdrop(kArea, kMagenta);
    int answer = RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"重试吗？", Placement(), L"重试", kTextQuit, 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            POINT at = CenterOf(WindowRectOf(BoxOf(frame)->firstButton.m_hWnd));
            ClickAt(at.x, at.y);
            PumpUntil([&] { return frame->IsEndRequested(); }, 3000);
        });
    EXPECT_EQ(1, answer);
}

TEST_F(SkinMessageBoxTest, ClickingTheSecondButtonAnswersSeven) {
    ColorBackdrop backdrop(kArea, kMagenta);
    int answer = RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"重试吗？", Placement(), L"重试", kTextQuit, 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            POINT at = CenterOf(WindowRectOf(BoxOf(frame)->secondButton.m_hWnd));
            ClickAt(at.x, at.y);
            PumpUntil([&] { return frame->IsEndRequested(); }, 3000);
        });
    EXPECT_EQ(7, answer);
}

TEST_F(SkinMessageBoxTest, StyleZeroShowsOneCentredOkButton) {
    ColorBackdrop backdrop(kArea, kMagenta);
    int answer = RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"完成", Placement(), L"", L"", 0, backdrop.Window(), 0); },
        [&](CSkinDialog* frame) {
            CSkinMessageBox* box = BoxOf(frame);
            EXPECT_FALSE(box->secondButton.IsWindowVisible());
            EXPECT_TRUE(box->firstButton.IsWindowVisible());
            EXPECT_EQ(std::wstring(kTextOk), box->firstButton.GetWindowText());
            RECT c = ContentRect(frame);
            RECT b = WindowRectOf(box->firstButton.m_hWnd);
            EXPECT_EQ(static_cast<int>(((c.right - c.left) - (b.right - b.left)) * 0.5f), b.left - c.left);
            // On the screen: the warm pixels of the button row are centred in the box.
            int row = (b.top + b.bottom) / 2;
            int leftmost = -1, rightmost = -1;
            for (int x = c.left; x < c.right; ++x) {
                if (IsWarm(ScreenPixel(x, row))) {
                    if (leftmost < 0) leftmost = x;
                    rightmost = x;
                }
            }
            ASSERT_GE(leftmost, 0);
            int middle = (leftmost + rightmost) / 2;
            EXPECT_NEAR((c.left + c.right) / 2, middle, 3);
            // And nothing of the steel second button is drawn where it would be.
            RECT secondSpot = {c.left + 172 + 10, b.top + 10, c.left + 309 - 10, b.bottom - 10};
            EXPECT_FALSE(IsSteel(AverageColor(secondSpot)) && IsWarm(AverageColor(secondSpot)));
            EXPECT_LT(CountBrightPixels(secondSpot, 235), 3);
            POINT at = CenterOf(b);
            ClickAt(at.x, at.y);
            PumpUntil([&] { return frame->IsEndRequested(); }, 3000);
        });
    EXPECT_EQ(1, answer);
}

TEST_F(SkinMessageBoxTest, StyleOneShowsOkAndCancel) {
    ColorBackdrop backdrop(kArea, kMagenta);
    RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"继续？", Placement(), L"", L"", 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            CSkinMessageBox* box = BoxOf(frame);
            EXPECT_TRUE(box->secondButton.IsWindowVisible());
            EXPECT_EQ(std::wstring(kTextOk), box->firstButton.GetWindowText());
            EXPECT_EQ(std::wstring(kTextCancel), box->secondButton.GetWindowText());
            frame->EndDialog(1);
        });
}

TEST_F(SkinMessageBoxTest, SwapFlagExchangesTheImagePairs) {
    ColorBackdrop backdrop(kArea, kMagenta);
    RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"确定退出吗？", Placement(), kTextQuit, kTextCancel, 1, backdrop.Window(), 4); },
        [&](CSkinDialog* frame) {
            CSkinMessageBox* box = BoxOf(frame);
            EXPECT_TRUE(box->secondButton.IsWindowVisible());  // style 4 has two buttons
            EXPECT_TRUE(IsSteel(AverageColor(Shrunk(WindowRectOf(box->firstButton.m_hWnd), 6))));
            EXPECT_TRUE(IsWarm(AverageColor(Shrunk(WindowRectOf(box->secondButton.m_hWnd), 6))));
            frame->EndDialog(7);
        });
}

TEST_F(SkinMessageBoxTest, EnterEscapeAndCtrlBreakDoNotAnswer) {
    ColorBackdrop backdrop(kArea, kMagenta);
    int answer = RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"按键无效", Placement(), L"", L"", 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            CSkinMessageBox* box = BoxOf(frame);
            // Keys typed on the keyboard, to whatever window has the focus...
            KeyPress(VK_RETURN);
            KeyPress(VK_ESCAPE);
            // ... and posted straight to each window of the box.
            for (HWND target : {box->firstButton.m_hWnd, box->secondButton.m_hWnd, box->m_hWnd, frame->m_hWnd}) {
                for (WPARAM key : {VK_RETURN, VK_ESCAPE, VK_CANCEL}) {
                    ::PostMessageW(target, WM_KEYDOWN, key, 1);
                    ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
                }
            }
            PumpFor(500);
            EXPECT_FALSE(frame->IsEndRequested());
            EXPECT_TRUE(frame->IsWindowVisible());
            POINT at = CenterOf(WindowRectOf(box->secondButton.m_hWnd));
            ClickAt(at.x, at.y);
            PumpUntil([&] { return frame->IsEndRequested(); }, 3000);
        });
    EXPECT_EQ(7, answer);
}

TEST_F(SkinMessageBoxTest, DraggingTheTextMovesFrameAndContentTogether) {
    ColorBackdrop backdrop(kArea, kMagenta);
    RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"拖动我", Placement(), L"", L"", 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            RECT f0 = WindowRectOf(frame->m_hWnd);
            RECT c0 = ContentRect(frame);
            RECT label = WindowRectOf(BoxOf(frame)->messageLabel.m_hWnd);
            POINT start = {label.left + 20, label.top + 10};
            MouseMoveTo(start.x, start.y);
            MouseDown();
            for (int step = 1; step <= 5; ++step) MouseMoveTo(start.x + 8 * step, start.y + 5 * step);
            MouseUp();
            PumpFor(200);
            RECT f1 = WindowRectOf(frame->m_hWnd);
            RECT c1 = ContentRect(frame);
            EXPECT_EQ(f0.left + 40, f1.left);
            EXPECT_EQ(f0.top + 25, f1.top);
            EXPECT_EQ(c0.left + 40, c1.left);
            EXPECT_EQ(c0.top + 25, c1.top);
            EXPECT_EQ(f1.left + 20, c1.left);
            EXPECT_EQ(f1.top + 18, c1.top);
            // The pixels moved too: the old top-left corner now shows magenta, the new rim is opaque.
            EXPECT_FALSE(ColorNear(ScreenPixel(f1.left + 12, (f1.top + f1.bottom) / 2), kMagenta, 60));
            frame->EndDialog(1);
        });
}

TEST_F(SkinMessageBoxTest, DraggingOutsideTheFramesOpaquePixelsMovesNothing) {
    ColorBackdrop backdrop(kArea, kMagenta);
    RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"拖动角落", Placement(), L"", L"", 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            RECT f0 = WindowRectOf(frame->m_hWnd);
            POINT corner = {f0.left + 1, f0.top + 1};  // transparent
            MouseMoveTo(corner.x, corner.y);
            MouseDown();
            MouseMoveTo(corner.x + 30, corner.y + 30);
            MouseUp();
            PumpFor(200);
            RECT f1 = WindowRectOf(frame->m_hWnd);
            EXPECT_EQ(f0.left, f1.left);
            EXPECT_EQ(f0.top, f1.top);
            frame->EndDialog(1);
        });
}

TEST_F(SkinMessageBoxTest, ABoxFromABoxHidesTheFirstUntilAnswered) {
    ColorBackdrop backdrop(kArea, kMagenta);
    int inner = 0;
    bool outerHiddenMeanwhile = false;
    bool outerShownAfter = false;
    int outer = RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"外层", Placement(), L"", L"", 0, backdrop.Window(), 1); },
        [&](CSkinDialog* outerFrame) {
            inner = RunWithBoxProbe(
                [&] { return outerFrame->ShowMessageBox(nullptr, L"内层", 0, L"", L"", 0); },
                [&](CSkinDialog* innerFrame) {
                    EXPECT_EQ(2u, OpenSkinMessageBoxes().size());
                    outerHiddenMeanwhile = !outerFrame->IsWindowVisible() && !outerFrame->content->IsWindowVisible();
                    EXPECT_TRUE(innerFrame->IsWindowVisible());
                    // The outer box is disabled while the inner one runs.
                    EXPECT_FALSE(outerFrame->IsWindowEnabled());
                    // The inner box sits where the outer one was (its frame rectangle).
                    RECT o = WindowRectOf(outerFrame->m_hWnd);
                    RECT i = WindowRectOf(innerFrame->m_hWnd);
                    EXPECT_EQ(o.left, i.left);
                    EXPECT_EQ(o.top, i.top);
                    POINT at = CenterOf(WindowRectOf(BoxOf(innerFrame)->firstButton.m_hWnd));
                    ClickAt(at.x, at.y);
                    PumpUntil([&] { return innerFrame->IsEndRequested(); }, 3000);
                });
            outerShownAfter = outerFrame->IsWindowVisible() && outerFrame->content->IsWindowVisible() &&
                              outerFrame->IsWindowEnabled();
            outerFrame->EndDialog(7);
        },
        40000);
    EXPECT_EQ(1, inner);
    EXPECT_EQ(7, outer);
    EXPECT_TRUE(outerHiddenMeanwhile);
    EXPECT_TRUE(outerShownAfter);
    EXPECT_TRUE(OpenSkinMessageBoxes().empty());
}

TEST_F(SkinMessageBoxTest, TheOwnerIsDisabledWhileTheBoxRunsAndEnabledAfter) {
    ColorBackdrop backdrop(kArea, kMagenta);
    bool disabledMeanwhile = false;
    RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"模态", Placement(), L"", L"", 0, backdrop.Window(), 0); },
        [&](CSkinDialog* frame) {
            disabledMeanwhile = !::IsWindowEnabled(backdrop.Window());
            // The frame belongs to its owner and has no taskbar button of its own.
            EXPECT_EQ(backdrop.Window(), ::GetWindow(frame->m_hWnd, GW_OWNER));
            EXPECT_TRUE(frame->GetExStyle() & WS_EX_TOOLWINDOW);
            EXPECT_FALSE(frame->GetExStyle() & WS_EX_APPWINDOW);
            frame->EndDialog(1);
        });
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(::IsWindowEnabled(backdrop.Window()));
}

TEST_F(SkinMessageBoxTest, ASystemCloseAsksNothingAndAnswersNotOne) {
    ColorBackdrop backdrop(kArea, kMagenta);
    int answer = RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"关闭", Placement(), L"", L"", 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            // The box switched the close confirmation off for itself and its frame...
            EXPECT_EQ(0, frame->content->confirmClose);
            EXPECT_EQ(0, frame->confirmClose);
            // ... yet the close rule still shows the tip box, whose answer does not matter.
            RunWithBoxProbe(
                [&] { return static_cast<int>(::SendMessageW(frame->content->m_hWnd, WM_CLOSE, 0, 0)); },
                [&](CSkinDialog* tipFrame) {
                    CSkinMessageBox* tip = BoxOf(tipFrame);
                    EXPECT_EQ(std::wstring(kTextQuit), tip->firstButton.GetWindowText());
                    EXPECT_EQ(std::wstring(kTextCancel), tip->secondButton.GetWindowText());
                    tipFrame->EndDialog(7);
                });
            PumpUntil([&] { return frame->IsEndRequested(); }, 3000);
        },
        40000);
    EXPECT_NE(1, answer);
    EXPECT_NE(-100, answer);
}

TEST_F(SkinMessageBoxTest, AtScaleOnePointFiveEverythingGrows) {
    OverrideUiScaleForTesting(1.5f);
    RECT area = {560, 290, 1360, 790};
    ColorBackdrop backdrop(area, kMagenta);
    RunWithBoxProbe(
        [&] { return ShowSkinMessageBox(L"放大", &area, L"", L"", 0, backdrop.Window(), 1); },
        [&](CSkinDialog* frame) {
            RECT f = WindowRectOf(frame->m_hWnd);
            EXPECT_EQ(549, f.right - f.left);
            EXPECT_EQ(276, f.bottom - f.top);
            RECT c = ContentRect(frame);
            EXPECT_EQ(f.left + 30, c.left);
            EXPECT_EQ(f.top + 27, c.top);
            EXPECT_EQ(489, c.right - c.left);
            EXPECT_EQ(222, c.bottom - c.top);
            CSkinMessageBox* box = BoxOf(frame);
            RECT first = WindowRectOf(box->firstButton.m_hWnd);
            RECT second = WindowRectOf(box->secondButton.m_hWnd);
            EXPECT_EQ(c.left + 18, first.left);   // 12 x 1.5
            EXPECT_EQ(c.top + 136, first.top);    // 91 x 1.5 = 136.5
            EXPECT_EQ(c.left + 258, second.left); // 172 x 1.5
            // Nothing leaves the content window.
            EXPECT_LE(second.right, c.right);
            EXPECT_LE(second.bottom, c.bottom);
            EXPECT_TRUE(IsWarm(AverageColor(Shrunk(first, 8))));
            EXPECT_TRUE(ColorNear(ScreenPixel(f.left + 1, f.top + 1), kMagenta, 10));
            frame->EndDialog(1);
        });
}

}  // namespace
