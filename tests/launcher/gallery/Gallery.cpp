// The launcher's gallery (a test-only program): opens one of its skinned
// windows on its own over a plain wallpaper, prints "READY left top right
// bottom" (the screen rectangle to photograph) once it is drawn, and ends
// after a hold. The message boxes come from the window toolkit; the main
// window is the launcher's own window group, its lines set by its update
// flow. For the main window it also checks what a player must be able to
// read (CheckTheLines) and ends with 3 when that fails.
// tests/launcher/gallery/run-gallery.sh runs every case under Xvfb and Wine
// and writes one screenshot per case, for people to look at.
//
// Usage: ui_gallery.exe CASE [--scale S] [--hold MS]
// Cases: box-style0, box-style1, box-style4-swap, box-nested, box-long-text,
//        main-start, main-download, main-download-end, main-longest-lines,
//        main-failure-box, main-close-box
#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "afx/GdiplusSession.h"
#include "afx/ScopedWin.h"
#include "launcher/NewTalmoMainBackgroundDialog.h"
#include "launcher/NewTalmoMainForegroundDialog.h"
#include "launcher/UpdateFlow.h"
#include "res/resource.h"
#include "ui/DialogBase.h"
#include "ui/SkinControls.h"
#include "ui/SkinMessageBox.h"
#include "ui/UiTexts.h"
#include "update/ResourceManager.h"
#include "util/UiScale.h"

namespace {

GdiplusSession g_gdiplus;
std::string g_case;
int g_holdMs = 2500;

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

// -------------------------------------------------- the launcher's main window

// The launcher's own window group (the background, then the foreground on
// it), shown as the launcher shows it, with its update flow held before its
// first step: nothing asks the launcher server.
class MainWindow {
public:
    MainWindow() {
        background.Create(IDD_SKIN_FRAME, nullptr);
        background.ShowWindow(SW_SHOW);
        background.ShowForeground();
        Foreground().StopTimer(TIMER_GAME_WATCH);
    }
    CNewTalmoMainForegroundDialog& Foreground() {
        return *static_cast<CNewTalmoMainForegroundDialog*>(background.foreground);
    }
    // The lines as the flow leaves them, held: the speed tick would redraw them.
    void Hold() { Foreground().StopTimer(TIMER_SPEED_TEXT); }

    CResourceManager resources;
    CNewTalmoMainBackgroundDialog background{resources};
};

CCustomLabel* LabelOf(CWnd& window, int id) {
    return dynamic_cast<CCustomLabel*>(CWnd::FromHandlePermanent(window.GetDlgItem(id)));
}

// What a player must be able to read: the status line's and the speed line's
// texts drawn whole, inside the window's visible band, and apart from each
// other. Prints one CHECK line; false when a text is cut, leaves the band or
// runs into the other.
bool CheckTheLines(MainWindow& main) {
    CNewTalmoMainForegroundDialog& window = main.Foreground();
    struct Line {
        const char* name;
        CCustomLabel* label;
        RECT onScreen;
    } lines[] = {{"status line", LabelOf(window, IDC_STATUS_TEXT), {}}, {"speed line", LabelOf(window, IDC_SPEED_TEXT), {}}};
    ScopedGdiObject region(::CreateRectRgn(0, 0, 0, 0));
    HRGN band = static_cast<HRGN>(region.Get());
    const bool haveBand = band && ::GetWindowRgn(window.m_hWnd, band) != ERROR;
    RECT windowRect;
    ::GetWindowRect(window.m_hWnd, &windowRect);
    bool ok = true;
    for (Line& line : lines) {
        if (!line.label) {
            std::printf("CHECK FAILED: the %s is no label of the window\n", line.name);
            return false;
        }
        RECT client, text = line.label->TextBounds();
        ::GetClientRect(line.label->m_hWnd, &client);
        if (text.left < client.left || text.top < client.top || text.right > client.right ||
            text.bottom > client.bottom) {
            std::printf("CHECK FAILED: the %s is cut (text %ld,%ld-%ld,%ld in %ld x %ld)\n", line.name, text.left,
                        text.top, text.right, text.bottom, client.right, client.bottom);
            ok = false;
        }
        POINT corners[2] = {{text.left, text.top}, {text.right, text.bottom}};
        ::MapWindowPoints(line.label->m_hWnd, nullptr, corners, 2);
        line.onScreen = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
        // The window's region is in window coordinates.
        if (haveBand && !(::PtInRegion(band, corners[0].x - windowRect.left, corners[0].y - windowRect.top) &&
                          ::PtInRegion(band, corners[1].x - 1 - windowRect.left, corners[1].y - 1 - windowRect.top))) {
            std::printf("CHECK FAILED: the %s leaves the window's visible band\n", line.name);
            ok = false;
        }
    }
    RECT both;
    if (::IntersectRect(&both, &lines[0].onScreen, &lines[1].onScreen)) {
        std::printf("CHECK FAILED: the status line runs into the speed line\n");
        ok = false;
    }
    if (ok) std::printf("CHECK ok: the status and speed lines are whole, inside the window and apart\n");
    std::fflush(stdout);
    return ok;
}

// ------------------------------------------------------------------ the cases


RECT Union(RECT a, const RECT& b) {
    if (a.right <= a.left) return b;
    a.left = std::min(a.left, b.left);
    a.top = std::min(a.top, b.top);
    a.right = std::max(a.right, b.right);
    a.bottom = std::max(a.bottom, b.bottom);
    return a;
}

// What is on the screen now: the innermost box, and the main window when it is shown.
MainWindow* g_main = nullptr;
bool g_checkFailed = false;

void CALLBACK ReadyTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    RECT shot = {0, 0, 0, 0};
    if (g_main) {
        RECT r;
        g_main->background.GetWindowRect(&r);
        shot = Union(shot, r);
        if (!CheckTheLines(*g_main)) g_checkFailed = true;
    }
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

void CALLBACK EndTimer(HWND, UINT, UINT_PTR, DWORD) { ::ExitProcess(g_checkFailed ? 3 : 0); }

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
    ::SendMessageW(g_main->Foreground().m_hWnd, WM_CLOSE, 0, 0);
}

void CALLBACK OpenFailureBoxTimer(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ArmTimers(900);
    // The failure box with its cause line, as a full drive leaves it.
    g_main->Foreground().Flow().OnResourceDownloadFailed(
        FailureCause(FailureKind::DiskFull, ERROR_DISK_FULL, L"data\\ships\\cruiser.bin"));
}

// The main window in the state setUp leaves it in; opener (may be null) opens
// a box from a timer once the window is drawn.
int RunMain(const std::function<void(MainWindow&)>& setUp, TIMERPROC opener) {
    MainWindow main;
    g_main = &main;
    setUp(main);
    main.Hold();
    if (opener) {
        ::SetTimer(nullptr, 0, 600, opener);
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

// A download under way: the flow's tip on the status line and its speed line,
// after a second in which received of total bytes arrived.
void Downloading(MainWindow& main, int64_t received, int64_t total) {
    UpdateFlow& flow = main.Foreground().Flow();
    flow.OnResourceDownloadStarted();
    flow.OnDownloadProgress(received, total);
    flow.HandleTimer(TIMER_PROGRESS_BAR);
    flow.HandleTimer(TIMER_SPEED_TEXT);
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
    const int64_t kMiB = 1 << 20;
    if (g_case == "main-start") return RunMain([](MainWindow&) {}, nullptr);
    if (g_case == "main-download") {
        return RunMain([=](MainWindow& main) { Downloading(main, 60 * kMiB, 120 * kMiB); }, nullptr);
    }
    if (g_case == "main-download-end") {
        return RunMain([=](MainWindow& main) { Downloading(main, 120 * kMiB, 120 * kMiB); }, nullptr);
    }
    if (g_case == "main-longest-lines") {
        // The longest texts the two lines take: a failure on the status line, a
        // speed line with every figure at its widest.
        return RunMain(
            [](MainWindow& main) {
                main.Foreground().SetStatusText(L"无法完成游戏资源更新，未配置更新地址!");
                main.Foreground().SetSpeedText(L"速度:1023.99MB/秒 预计:59分59秒 下载进度:1023.99MB/1023.99MB");
            },
            nullptr);
    }
    if (g_case == "main-failure-box") {
        return RunMain([=](MainWindow& main) { Downloading(main, 30 * kMiB, 120 * kMiB); }, &OpenFailureBoxTimer);
    }
    if (g_case == "main-close-box") {
        return RunMain([=](MainWindow& main) { Downloading(main, 42 * kMiB, 120 * kMiB); }, &OpenCloseBoxTimer);
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
