// The skin controls on a real content window, their pixels read back
// from the screen; and the resources they draw from.
#include <gtest/gtest.h>

#include <windows.h>

#include "UiTestSupport.h"
#include "res/resource.h"
#include "ui/SkinControls.h"
#include "ui/SkinFont.h"
#include "ui/SkinMessageBox.h"
#include "util/PngResource.h"
#include "util/UiScale.h"

namespace {

// A content window on template 105 with its three controls bound to a button,
// a label and a progress bar, painted from a backdrop of the frame PNG.
class ControlHost : public CSkinUIDialog {
public:
    ControlHost() : CSkinUIDialog(IDD_SKIN_MESSAGEBOX, nullptr) {}
    ~ControlHost() override {
        if (m_hWnd) DestroyWindow();
    }
    CSkinButton button;       // 1008
    CCustomProgress progress; // 1009
    CCustomLabel label;       // 1010

protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, IDC_MSGBOX_FIRST, button);
        DDX_Control(dx, IDC_MSGBOX_SECOND, progress);
        DDX_Control(dx, IDC_MSGBOX_TEXT, label);
    }
};

class SkinControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        OverrideUiScaleForTesting(1.0f);
        ASSERT_TRUE(host.Create(IDD_SKIN_MESSAGEBOX, nullptr));
        host.SetBackdrop(LoadPngBitmap(IDB_PNG_MSGBOX_FRAME, 20, 18, 326, 148));
        MoveAndResizeWindow(host.m_hWnd, 500, 300, 326, 148);
        host.button.MoveWindow(10, 10, 137, 47);
        host.progress.MoveWindow(10, 80, 300, 18);
        host.label.MoveWindow(160, 10, 150, 60);
        host.ShowWindow(SW_SHOWNOACTIVATE);
        PumpFor(300);
    }
    void TearDown() override { OverrideUiScaleForTesting(1.0f); }

    RECT ScreenRectOf(CWnd& control) { return WindowRectOf(control.m_hWnd); }
    // The button on the accent images with caption at 18 pixels, repainted; its place on the screen.
    RECT ShowAccentButton(const std::wstring& caption) {
        host.button.SetImages(IDB_PNG_BUTTON_ACCENT, IDB_PNG_BUTTON_ACCENT_HOVER);
        host.button.fontSize = 18;
        host.button.SetWindowText(caption);
        Repaint();
        return ScreenRectOf(host.button);
    }
    void Repaint() {
        ::RedrawWindow(host.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        PumpFor(250);
    }
    // The warm pixels of the bar's fill in its second pixel row.
    int WarmPixelsInBar() {
        RECT bar = ScreenRectOf(host.progress);
        RECT row = {bar.left, bar.top + 1, bar.right, bar.top + 2};
        int warm = 0;
        for (int x = row.left; x < row.right; ++x) {
            COLORREF c = ScreenPixel(x, row.top);
            if (GetRValue(c) > 150 && GetRValue(c) > GetBValue(c) + 60) ++warm;
        }
        return warm;
    }

    ControlHost host;
};

TEST_F(SkinControlsTest, SubclassingAddsTheOwnerDrawStyles) {
    EXPECT_EQ(static_cast<DWORD>(BS_OWNERDRAW), host.button.GetStyle() & BS_TYPEMASK);
    EXPECT_EQ(0x8000Du, host.label.GetStyle() & 0x8000Du);
    EXPECT_EQ(0x8000Du, host.progress.GetStyle() & 0x8000Du);
    // The host paints the backdrop, never over its controls.
    EXPECT_TRUE(host.GetStyle() & WS_CLIPCHILDREN);
}

TEST_F(SkinControlsTest, ControlsDoNotEraseTheirBackground) {
    HDC dc = ::GetDC(host.m_hWnd);
    for (HWND control : {host.button.m_hWnd, host.label.m_hWnd, host.progress.m_hWnd}) {
        EXPECT_EQ(0, ::SendMessageW(control, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0));
    }
    ::ReleaseDC(host.m_hWnd, dc);
}

TEST_F(SkinControlsTest, AButtonWithoutImagesDrawsNothingNotEvenItsCaption) {
    host.button.SetWindowText(L"确定");
    Repaint();
    RECT b = ScreenRectOf(host.button);
    // Only the backdrop: dark navy, no white caption.
    EXPECT_EQ(0, CountBrightPixels(b, 235));
    COLORREF average = AverageColor(b);
    EXPECT_LT(GetRValue(average), 70);
}

TEST_F(SkinControlsTest, ButtonDrawsItsImageAndCentredCaption) {
    RECT b = ShowAccentButton(L"确定");
    COLORREF average = AverageColor(Shrunk(b, 6));
    EXPECT_GT(GetRValue(average), GetBValue(average) + 60);
    // White caption pixels, balanced around the middle.
    RECT left = {b.left, b.top, (b.left + b.right) / 2, b.bottom};
    RECT right = {(b.left + b.right) / 2, b.top, b.right, b.bottom};
    int l = CountBrightPixels(left, 235);
    int r = CountBrightPixels(right, 235);
    EXPECT_GT(l + r, 20);
    EXPECT_NEAR(l, r, (l + r) / 3 + 4);
}

TEST_F(SkinControlsTest, ACaptionInTheImageNamesTheButtonWithoutBeingDrawn) {
    RECT b = ShowAccentButton(L"");
    const int imageAlone = CountBrightPixels(b, 235);
    host.button.SetWindowText(L"关闭");
    host.button.captionInImage = 1;
    Repaint();
    EXPECT_EQ(imageAlone, CountBrightPixels(b, 235));
    EXPECT_EQ(L"关闭", host.button.GetWindowText());
    host.button.captionInImage = 0;  // the same text as a caption is drawn
    Repaint();
    EXPECT_GT(CountBrightPixels(b, 235), imageAlone + 20);
}

TEST_F(SkinControlsTest, ButtonStateMachineAndHoverImage) {
    host.button.SetImages(IDB_PNG_BUTTON_STEEL, IDB_PNG_BUTTON_ACCENT);  // hover is warm: easy to see
    Repaint();
    RECT b = ScreenRectOf(host.button);
    auto warm = [&] {
        COLORREF c = AverageColor(Shrunk(b, 6));
        return GetRValue(c) > GetBValue(c) + 60;
    };
    EXPECT_EQ(1, host.button.buttonState);
    EXPECT_FALSE(warm());
    ::SendMessageW(host.button.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(3, host.button.buttonState);
    PumpFor(250);
    EXPECT_TRUE(warm());
    ::SendMessageW(host.button.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(2, host.button.buttonState);
    ::SendMessageW(host.button.m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(1, host.button.buttonState);  // normal again although the cursor is still over it
    PumpFor(250);
    EXPECT_FALSE(warm());
    ::SendMessageW(host.button.m_hWnd, WM_MOUSEHOVER, 0, 0);
    EXPECT_EQ(3, host.button.buttonState);
    EXPECT_EQ(0, host.button.trackingMouse);
    ::SendMessageW(host.button.m_hWnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(1, host.button.buttonState);
    ::ReleaseCapture();
}

TEST_F(SkinControlsTest, LabelDrawsItsTextInItsColourWithAFallbackFont) {
    host.label.textColor = 0xFFFFFFFF;
    host.label.fontSize = 18;
    host.label.alignment = 1;
    host.label.lineAlignment = 1;
    host.label.SetText(L"宋体文字");
    PumpFor(250);
    RECT l = ScreenRectOf(host.label);
    EXPECT_GT(CountBrightPixels(l, 235), 20);
    // Centred both ways: white pixels appear in the middle band, not at the edges.
    RECT top = {l.left, l.top, l.right, l.top + 8};
    EXPECT_EQ(0, CountBrightPixels(top, 235));
    // Changing the text repaints without traces of the old one.
    host.label.SetText(L"");
    PumpFor(250);
    EXPECT_EQ(0, CountBrightPixels(l, 235));
}

TEST_F(SkinControlsTest, ProgressFillFollowsTheFraction) {
    host.progress.LoadBarImage();
    EXPECT_EQ(398, host.progress.barImageWidth);
    EXPECT_EQ(4, host.progress.barImageHeight);
    host.progress.SetTrackImage(LoadPngImage(IDB_PNG_PROGRESS_TRACK));
    host.progress.fraction = 0.0f;
    Repaint();
    EXPECT_EQ(0, WarmPixelsInBar());
    host.progress.fraction = 0.5f;
    Repaint();
    EXPECT_NEAR(150, WarmPixelsInBar(), 3);
    host.progress.fraction = 1.0f;
    Repaint();
    EXPECT_NEAR(299, WarmPixelsInBar(), 3);  // the width less the two half-pixel insets
    // Back to zero: no trace of the old fill.
    host.progress.fraction = 0.0f;
    Repaint();
    EXPECT_EQ(0, WarmPixelsInBar());
}

TEST(SkinFontTest, MissingFamiliesFallBackToAnInstalledCjkFamily) {
    for (const wchar_t* face : {L"宋体", L"微软雅黑", L"No Such Family 12345"}) {
        std::wstring family = ResolveFontFamily(face);
        Gdiplus::FontFamily resolved(family.c_str());
        EXPECT_EQ(Gdiplus::Ok, resolved.GetLastStatus()) << family.c_str();
    }
    // The fallback of a Chinese family has Chinese glyphs.
    auto font = MakeSkinFont(L"宋体", 27.0f, 0, 2);
    EXPECT_EQ(Gdiplus::Ok, font->GetLastStatus());
    EXPECT_FLOAT_EQ(27.0f, font->GetSize());
    HDC dc = ::CreateCompatibleDC(nullptr);
    LOGFONTW logFont = {};
    {
        Gdiplus::Graphics graphics(dc);
        font->GetLogFontW(&graphics, &logFont);
    }
    HFONT gdiFont = ::CreateFontIndirectW(&logFont);
    HGDIOBJ old = ::SelectObject(dc, gdiFont);
    WORD glyphs[2] = {};
    ::GetGlyphIndicesW(dc, L"宋体", 2, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    EXPECT_NE(0xFFFF, glyphs[0]);
    EXPECT_NE(0xFFFF, glyphs[1]);
    ::SelectObject(dc, old);
    ::DeleteObject(gdiFont);
    ::DeleteDC(dc);
}

// ---------------------------------------------------------------- resources

struct PngSize {
    UINT id;
    UINT width;
    UINT height;
};

TEST(UiResourcesTest, EveryPngIsCompiledInAtItsSize) {
    const PngSize pngs[] = {
        {IDB_PNG_CLOSE, 28, 28},           {IDB_PNG_CLOSE_HOVER, 28, 28},
        {IDB_PNG_MINIMIZE, 34, 40},        {IDB_PNG_MINIMIZE_HOVER, 34, 40},
        {IDB_PNG_MAIN_BACKGROUND, 987, 388}, {IDB_PNG_MSGBOX_FRAME, 366, 184},
        {IDB_PNG_BUTTON_ACCENT, 130, 36},  {IDB_PNG_BUTTON_ACCENT_HOVER, 130, 36},
        {IDB_PNG_BUTTON_STEEL, 130, 36},   {IDB_PNG_BUTTON_STEEL_HOVER, 130, 36},
        {IDB_PNG_PROGRESS_BAR, 398, 4},    {IDB_PNG_PROGRESS_TRACK, 398, 4},
        {IDB_PNG_CHAT_GROUP, 105, 33},
    };
    for (const PngSize& png : pngs) {
        std::unique_ptr<Gdiplus::Image> image = LoadPngImage(png.id);
        ASSERT_NE(nullptr, image);
        EXPECT_EQ(png.width, image->GetWidth()) << png.id;
        EXPECT_EQ(png.height, image->GetHeight()) << png.id;
    }
}

TEST(UiResourcesTest, TheFrameIsTransparentOutsideAndTheForegroundBandIsOpaque) {
    std::unique_ptr<Gdiplus::Bitmap> frame = LoadPngBitmap(IDB_PNG_MSGBOX_FRAME);
    ASSERT_NE(nullptr, frame);
    Gdiplus::Color c;
    frame->GetPixel(0, 0, &c);
    EXPECT_EQ(0, c.GetA());
    frame->GetPixel(183, 92, &c);
    EXPECT_EQ(255, c.GetA());
    // The main foreground (x >= 200, y 103..349 of PNG 137) is drawn opaque from this crop.
    std::unique_ptr<Gdiplus::Bitmap> background = LoadPngBitmap(IDB_PNG_MAIN_BACKGROUND);
    ASSERT_NE(nullptr, background);
    for (int y = 103; y < 350; y += 7) {
        for (int x = 200; x < 987; x += 13) {
            background->GetPixel(x, y, &c);
            ASSERT_EQ(255, c.GetA()) << x << "," << y;
        }
    }
    background->GetPixel(986, 0, &c);
    EXPECT_EQ(0, c.GetA());
}

TEST(UiResourcesTest, TheDialogTemplatesExistAndTheForegroundTemplateCanBeCreated) {
    for (UINT id : {IDD_SKIN_FRAME, IDD_SKIN_MESSAGEBOX, IDD_MAIN_FOREGROUND, IDD_FLASH}) {
        EXPECT_NE(nullptr, ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_DIALOG)) << id;
    }
    CDialog foreground(IDD_MAIN_FOREGROUND, nullptr);
    ASSERT_TRUE(foreground.Create(IDD_MAIN_FOREGROUND, nullptr));
    HWND mfcButton = foreground.GetDlgItem(IDC_MFCBUTTON1);
    ASSERT_NE(nullptr, mfcButton);
    wchar_t className[32] = {};
    ::GetClassNameW(mfcButton, className, 32);
    EXPECT_STREQ(L"MfcButton", className);
    for (int id : {IDC_PROGRESS, IDC_SPEED_TEXT, IDC_STATUS_TEXT, IDC_BIG_TEXT, IDC_MINIMIZE, IDC_CLOSE,
                   IDC_CHAT_GROUP}) {
        EXPECT_NE(nullptr, foreground.GetDlgItem(id)) << id;
    }
    EXPECT_TRUE(foreground.GetExStyle() & WS_EX_CONTROLPARENT);
    CDialog root(IDD_FLASH, nullptr);
    ASSERT_TRUE(root.Create(IDD_FLASH, nullptr));
    EXPECT_FALSE(root.IsWindowVisible());
    CDialog frame(IDD_SKIN_FRAME, nullptr);
    ASSERT_TRUE(frame.Create(IDD_SKIN_FRAME, nullptr));
    EXPECT_TRUE(frame.IsWindowVisible());
    EXPECT_TRUE(frame.GetExStyle() & WS_EX_APPWINDOW);
}

}  // namespace
