// The window toolkit's gallery (a test-only program): opens one skinned window
// case on its own over a plain wallpaper, prints "READY left top right bottom"
// (the screen rectangle to photograph) once it is drawn, and ends after a hold.
// tests/ui/gallery/run-gallery.sh runs every case under Xvfb and Wine and
// writes one screenshot per case.
//
// Usage: ui_gallery.exe CASE [--scale S] [--hold MS]
// Cases: box-style0, box-style1, box-style4-swap, box-nested, box-long-text,
//        main-progress-0, main-progress-50, main-progress-100, main-close-box
#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "afx/GdiplusSession.h"
#include "res/resource.h"
#include "ui/DialogBase.h"
#include "ui/SkinControls.h"
#include "ui/SkinMessageBox.h"
#include "ui/UiTexts.h"
#include "util/PngResource.h"
#include "util/UiScale.h"

namespace {

GdiplusSession g_gdiplus;
std::string g_case;
int g_holdMs = 2500;
float g_fraction = 0.0f;

// ------------------------------------------------------------------ wallpaper

LRESULT CALLBACK WallpaperProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT client;
        ::GetClientRect(window, &client);
        HDC dc = reinterpret_cast<HDC>(wParam);
        TRIVERTEX vertices[2] = {
            {0, 0, 0x5600, 0x6a00, 0x7e00, 0xff00},
            {client.right, client.bottom, 0x2400, 0x2e00, 0x3a00, 0xff00},
        };
        GRADIENT_RECT span = {0, 1};
        ::GradientFill(dc, vertices, 2, &span, 1, GRADIENT_FILL_RECT_V);
        return 1;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void ShowWallpaper() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &WallpaperProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DrelGalleryWallpaper";
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    ::RegisterClassW(&wc);
    HWND wallpaper = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP, 0, 0,
                                       ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), nullptr,
                                       nullptr, wc.hInstance, nullptr);
    ::SetWindowPos(wallpaper, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::UpdateWindow(wallpaper);
}

// ------------------------------------------------------ the main window preview

// The main foreground window's layout on the toolkit's classes: the foreground's controls
// on a content window laid over the background PNG with a left margin of 200.
class PreviewForeground : public CSkinUIDialog {
public:
    PreviewForeground() : CSkinUIDialog(IDD_MAIN_FOREGROUND, nullptr) { marginLeft = 200; }
    ~PreviewForeground() override {
        if (m_hWnd) DestroyWindow();
    }

    CCustomProgress progress;
    CCustomLabel speed;
    CCustomLabel status;
    CCustomLabel bigText;
    CSkinButton minimize;
    CSkinButton close;
    CSkinButton chat;

protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, IDC_PROGRESS, progress);
        DDX_Control(dx, IDC_SPEED_TEXT, speed);
        DDX_Control(dx, IDC_STATUS_TEXT, status);
        DDX_Control(dx, IDC_BIG_TEXT, bigText);
        DDX_Control(dx, IDC_MINIMIZE, minimize);
        DDX_Control(dx, IDC_CLOSE, close);
        DDX_Control(dx, IDC_CHAT_GROUP, chat);
    }

    BOOL OnInitDialog() override {
        CSkinUIDialog::OnInitDialog();
        float s = GetUiScale();
        POINT band[4] = {{0, Scaled(103)}, {Scaled(987), Scaled(103)}, {Scaled(987), Scaled(350)}, {0, Scaled(350)}};
        HRGN region = ::CreatePolygonRgn(band, 4, ALTERNATE);
        if (region) ::SetWindowRgn(m_hWnd, region, TRUE);
        (void)s;
        PlaceControl(progress, 130, 328, 530, 346);
        PlaceControl(speed, 130, 333, 530, 348);
        PlaceControl(status, 130, 310, 530, 326);
        PlaceControl(bigText, 276, 185, 721, 249);
        PlaceControl(minimize, 715, 104, 749, 144);
        PlaceControl(close, 756, 107, 784, 135);
        PlaceControl(chat, 660, 288, 765, 321);
        progress.LoadBarImage();
        progress.SetTrackImage(LoadPngImage(IDB_PNG_PROGRESS_TRACK));
        progress.fraction = g_fraction;
        for (CCustomLabel* label : {&speed, &status}) {
            label->fontSize = 14;
            label->textColor = 0xFFE3F7FF;
        }
        speed.alignment = 2;
        status.alignment = 0;
        wchar_t speedText[128];
        swprintf(speedText, 128, L"%.1fMB/s  剩余 00:%02d  %d.0MB/120.0MB", 3.2, 37,
                 static_cast<int>(120 * g_fraction));
        speed.SetText(g_fraction > 0.0f ? speedText : L"游戏初始化中...");
        status.SetText(g_fraction >= 1.0f ? L"更新完成，正在启动游戏..." : L"正在更新游戏资源...");
        bigText.fontSize = 20;
        bigText.fontStyle = 1;
        bigText.lineAlignment = 1;
        bigText.textColor = 0xFFDEDBD6;
        minimize.SetImages(IDB_PNG_MINIMIZE, IDB_PNG_MINIMIZE_HOVER);
        close.SetImages(IDB_PNG_CLOSE, IDB_PNG_CLOSE_HOVER);
        chat.SetImages(IDB_PNG_CHAT_GROUP, IDB_PNG_CHAT_GROUP);
        return TRUE;
    }

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        if (LOWORD(wParam) == IDC_CLOSE && HIWORD(wParam) == BN_CLICKED) {
            ::SendNotifyMessageW(m_hWnd, WM_CLOSE, 0, 0);
            return TRUE;
        }
        return CSkinUIDialog::OnCommand(wParam, lParam);
    }
};

// The background: a layered frame on PNG 137 carrying the foreground, asking
// through the message box placed as the main background places it.
class PreviewBackground : public CSkinDialog {
public:
    PreviewBackground() : CSkinDialog(IDB_PNG_MAIN_BACKGROUND, IDD_SKIN_FRAME, nullptr) {
        content = std::make_unique<PreviewForeground>();
        contentTemplateId = IDD_MAIN_FOREGROUND;
        draggable = 1;
    }
    int ShowMessageBox(HWND, const std::wstring& text, int style, const std::wstring& first,
                       const std::wstring& second, int swap) override {
        EnableWindow(FALSE);
        if (content) content->EnableWindow(FALSE);
        RECT placement;
        GetWindowRect(&placement);
        placement.left += 160;
        placement.top += 90;
        int answer = ShowSkinMessageBox(text, &placement, first, second, swap, content->m_hWnd, style);
        EnableWindow(TRUE);
        if (content) content->EnableWindow(TRUE);
        return answer;
    }
};

// ------------------------------------------------------------------ the cases


RECT Union(RECT a, const RECT& b) {
    if (a.right <= a.left) return b;
    a.left = std::min(a.left, b.left);
    a.top = std::min(a.top, b.top);
    a.right = std::max(a.right, b.right);
    a.bottom = std::max(a.bottom, b.bottom);
    return a;
}

// What is on the screen now: the innermost box, else the main preview.
HWND g_main = nullptr;
HWND g_mainContent = nullptr;

void CALLBACK ReadyTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    RECT shot = {0, 0, 0, 0};
    if (g_main) shot = Union(shot, [] { RECT r; ::GetWindowRect(g_main, &r); return r; }());
    const auto& open = OpenSkinMessageBoxes();
    if (!open.empty()) {
        RECT r;
        open.back()->GetWindowRect(&r);
        shot = Union(shot, r);
    }
    // A margin of wallpaper around the windows shows their transparent edges.
    const int margin = 24;
    shot.left = std::max(0L, shot.left - margin);
    shot.top = std::max(0L, shot.top - margin);
    shot.right = std::min(static_cast<LONG>(::GetSystemMetrics(SM_CXSCREEN)), shot.right + margin);
    shot.bottom = std::min(static_cast<LONG>(::GetSystemMetrics(SM_CYSCREEN)), shot.bottom + margin);
    std::printf("READY %ld %ld %ld %ld\n", shot.left, shot.top, shot.right, shot.bottom);
    std::fflush(stdout);
}

void CALLBACK EndTimer(HWND, UINT, UINT_PTR, DWORD) { ::ExitProcess(0); }

void ArmTimers(int readyAfterMs) {
    ::SetTimer(nullptr, 0, static_cast<UINT>(readyAfterMs), &ReadyTimer);
    ::SetTimer(nullptr, 0, static_cast<UINT>(readyAfterMs + g_holdMs), &EndTimer);
}

const wchar_t kNetworkText[] = L"网络连接失败，请检查网络后重试。";

void CALLBACK OpenNestedTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    const auto& open = OpenSkinMessageBoxes();
    if (open.empty()) return;
    // Hiding the outer box takes Wine a while on a display without a window
    // manager (it waits for one to answer); photograph when that is over.
    ArmTimers(5000);
    open.back()->ShowMessageBox(nullptr, L"这是在提示框中打开的提示框：\n先回答它，下面的提示框才会回来。", 0,
                                L"", L"", 0);
}

void CALLBACK OpenCloseBoxTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ArmTimers(900);
    // What the close button leads to: WM_CLOSE climbs to the top window, which asks.
    ::SendMessageW(g_mainContent, WM_CLOSE, 0, 0);
}

int RunMain(bool closeBox) {
    PreviewBackground background;
    if (!background.Create(IDD_SKIN_FRAME, nullptr)) return 2;
    g_main = background.m_hWnd;
    g_mainContent = background.content ? background.content->m_hWnd : nullptr;
    if (closeBox) {
        ::SetTimer(nullptr, 0, 600, &OpenCloseBoxTimer);
    } else {
        ArmTimers(900);
    }
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (AfxPreTranslateMessage(&msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return 0;
}

int RunCase() {
    if (g_case == "box-style0") {
        ArmTimers(900);
        return ShowSkinMessageBox(kNetworkText, nullptr, L"", L"", 0, nullptr, 0);
    }
    if (g_case == "box-style1") {
        ArmTimers(900);
        return ShowSkinMessageBox(L"磁盘空间不足，需要 1.2GB，\n请清理后重试。", nullptr, L"", L"", 0, nullptr, 1);
    }
    if (g_case == "box-style4-swap") {
        ArmTimers(900);
        CDialogBase tipSource(IDD_FLASH, nullptr);
        return ShowSkinMessageBox(tipSource.PickWaitingTip(), nullptr, kTextQuit, kTextCancel, 1, nullptr, 4);
    }
    if (g_case == "box-long-text") {
        ArmTimers(900);
        return ShowSkinMessageBox(
            L"资源列表下载失败（错误码 -3）。可能是网络不稳定或服务器正在维护，请稍后点击“重试”，或退出后重新启动。",
            nullptr, L"重试", kTextQuit, 0, nullptr, 1);
    }
    if (g_case == "box-nested") {
        ::SetTimer(nullptr, 0, 700, &OpenNestedTimer);
        return ShowSkinMessageBox(L"外层提示框", nullptr, L"", L"", 0, nullptr, 1);
    }
    if (g_case == "main-progress-0") {
        g_fraction = 0.0f;
        return RunMain(false);
    }
    if (g_case == "main-progress-50") {
        g_fraction = 0.5f;
        return RunMain(false);
    }
    if (g_case == "main-progress-100") {
        g_fraction = 1.0f;
        return RunMain(false);
    }
    if (g_case == "main-close-box") {
        g_fraction = 0.35f;
        return RunMain(true);
    }
    std::fprintf(stderr, "unknown case %s\n", g_case.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ui_gallery CASE [--scale S] [--hold MS]\n");
        return 2;
    }
    g_case = argv[1];
    float scale = 1.0f;
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string key = argv[i];
        if (key == "--scale") scale = static_cast<float>(std::atof(argv[i + 1]));
        if (key == "--hold") g_holdMs = std::atoi(argv[i + 1]);
    }
    OverrideUiScaleForTesting(scale);
    ShowWallpaper();
    int answer = RunCase();
    std::printf("ANSWER %d\n", answer);
    std::fflush(stdout);
    return 0;
}
