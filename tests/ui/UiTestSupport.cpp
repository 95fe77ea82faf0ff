#include "UiTestSupport.h"

#include <cstdlib>
#include <vector>

#include "afx/GdiplusSession.h"
#include "res/resource.h"
#include "ui/SkinMessageBox.h"

// GDI+ for the whole test program, as the launcher has it.
static GdiplusSession g_gdiplus;

void PumpFor(int ms) {
    DWORD end = ::GetTickCount() + static_cast<DWORD>(ms);
    do {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(5);
    } while (static_cast<int>(end - ::GetTickCount()) > 0);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    DWORD end = ::GetTickCount() + static_cast<DWORD>(timeoutMs);
    while (!done()) {
        if (static_cast<int>(end - ::GetTickCount()) <= 0) return done();
        PumpFor(10);
    }
    return true;
}

namespace {

// The screen's pixels in rect, row by row, as COLORREF values.
std::vector<COLORREF> Capture(const RECT& rect, int* width, int* height) {
    int w = rect.right - rect.left;
    int h = rect.bottom - rect.top;
    *width = w;
    *height = h;
    std::vector<COLORREF> pixels;
    if (w <= 0 || h <= 0) return pixels;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
        HGDIOBJ old = ::SelectObject(memory, dib);
        ::BitBlt(memory, 0, 0, w, h, screen, rect.left, rect.top, SRCCOPY);
        ::GdiFlush();
        const DWORD* p = static_cast<const DWORD*>(bits);
        pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (size_t i = 0; i < pixels.size(); ++i) {
            DWORD v = p[i];  // 0x00RRGGBB
            pixels[i] = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
        }
        ::SelectObject(memory, old);
        ::DeleteObject(dib);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

}  // namespace

COLORREF ScreenPixel(int x, int y) {
    RECT one = {x, y, x + 1, y + 1};
    int w, h;
    std::vector<COLORREF> pixels = Capture(one, &w, &h);
    return pixels.empty() ? CLR_INVALID : pixels[0];
}

bool ColorNear(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

int CountPixelsDifferentFrom(const RECT& rect, COLORREF ref, int tolerance) {
    int w, h;
    int count = 0;
    for (COLORREF c : Capture(rect, &w, &h)) {
        if (!ColorNear(c, ref, tolerance)) ++count;
    }
    return count;
}

int CountBrightPixels(const RECT& rect, int minimum) {
    int w, h;
    int count = 0;
    for (COLORREF c : Capture(rect, &w, &h)) {
        if (GetRValue(c) >= minimum && GetGValue(c) >= minimum && GetBValue(c) >= minimum) ++count;
    }
    return count;
}

COLORREF AverageColor(const RECT& rect) {
    int w, h;
    std::vector<COLORREF> pixels = Capture(rect, &w, &h);
    if (pixels.empty()) return CLR_INVALID;
    unsigned long long r = 0, g = 0, b = 0;
    for (COLORREF c : pixels) {
        r += GetRValue(c);
        g += GetGValue(c);
        b += GetBValue(c);
    }
    size_t n = pixels.size();
    return RGB(static_cast<int>(r / n), static_cast<int>(g / n), static_cast<int>(b / n));
}

// ------------------------------------------------------------- ColorBackdrop

namespace {
LRESULT CALLBACK BackdropProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) {
        RECT client;
        ::GetClientRect(window, &client);
        HBRUSH brush = ::CreateSolidBrush(static_cast<COLORREF>(::GetWindowLongPtrW(window, GWLP_USERDATA)));
        ::FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        ::DeleteObject(brush);
        return 1;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

ColorBackdrop::ColorBackdrop(const RECT& rect, COLORREF color) : color_(color) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &BackdropProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"DrelTestBackdrop";
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        ::RegisterClassW(&wc);
        registered = true;
    }
    window_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"DrelTestBackdrop", L"backdrop", WS_POPUP, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, static_cast<LONG_PTR>(color));
    ::ShowWindow(window_, SW_SHOWNOACTIVATE);
    ::UpdateWindow(window_);
    PumpFor(100);
}

ColorBackdrop::~ColorBackdrop() {
    if (window_) ::DestroyWindow(window_);
    PumpFor(30);
}

// -------------------------------------------------------------------- input

namespace {
void SendMouse(DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    ::SendInput(1, &input, sizeof(INPUT));
}
}  // namespace

void MouseMoveTo(int x, int y) {
    ::SetCursorPos(x, y);
    // A real move event too, so the window under the cursor hears of it.
    INPUT input = {};
    input.type = INPUT_MOUSE;
    int w = ::GetSystemMetrics(SM_CXSCREEN);
    int h = ::GetSystemMetrics(SM_CYSCREEN);
    input.mi.dx = static_cast<LONG>((x * 65535LL + w / 2) / (w - 1));
    input.mi.dy = static_cast<LONG>((y * 65535LL + h / 2) / (h - 1));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &input, sizeof(INPUT));
    PumpFor(40);
}

void MouseDown() {
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    PumpFor(40);
}

void MouseUp() {
    SendMouse(MOUSEEVENTF_LEFTUP);
    PumpFor(40);
}

void ClickAt(int x, int y) {
    MouseMoveTo(x, y);
    MouseDown();
    MouseUp();
}

void KeyPress(WORD virtualKey) {
    INPUT inputs[2] = {};
    inputs[0].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = virtualKey;
    inputs[1].type = INPUT_KEYBOARD;
    inputs[1].ki.wVk = virtualKey;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, inputs, sizeof(INPUT));
    PumpFor(60);
}

// ------------------------------------------------------------ box probing

namespace {

struct ProbeState {
    std::function<void(CSkinDialog*)> probe;
    size_t depthAtStart = 0;
    DWORD deadline = 0;
    DWORD shownAt = 0;
    bool probed = false;
    UINT_PTR timer = 0;
};
ProbeState* g_probe = nullptr;

void EndOpenBoxes(int value) {
    const auto& open = OpenSkinMessageBoxes();
    for (auto it = open.rbegin(); it != open.rend(); ++it) (*it)->EndDialog(value);
}

void CALLBACK ProbeTimer(HWND, UINT, UINT_PTR, DWORD) {
    ProbeState* state = g_probe;
    if (!state) return;
    if (static_cast<int>(state->deadline - ::GetTickCount()) <= 0) {
        EndOpenBoxes(-100);
        return;
    }
    if (state->probed) return;
    const auto& open = OpenSkinMessageBoxes();
    if (open.size() <= state->depthAtStart) return;
    CSkinDialog* frame = open.back();
    bool ready = frame->m_hWnd && frame->IsWindowVisible() && frame->content && frame->content->m_hWnd &&
                 frame->content->IsWindowVisible();
    if (!ready) return;
    if (!state->shownAt) {
        state->shownAt = ::GetTickCount();
        return;
    }
    if (::GetTickCount() - state->shownAt < 400) return;  // let it paint
    state->probed = true;
    state->probe(frame);
}

}  // namespace

int RunWithBoxProbe(const std::function<int()>& show, const std::function<void(CSkinDialog*)>& probe,
                    int timeoutMs) {
    ProbeState state;
    state.probe = probe;
    state.depthAtStart = OpenSkinMessageBoxes().size();
    state.deadline = ::GetTickCount() + static_cast<DWORD>(timeoutMs);
    ProbeState* previous = g_probe;
    g_probe = &state;
    state.timer = ::SetTimer(nullptr, 0, 30, &ProbeTimer);
    int answer = show();
    ::KillTimer(nullptr, state.timer);
    g_probe = previous;
    return answer;
}

RECT WindowRectOf(HWND window) {
    RECT rect = {};
    ::GetWindowRect(window, &rect);
    return rect;
}

RECT Shrunk(const RECT& rect, int inset) {
    RECT r = {rect.left + inset, rect.top + inset, rect.right - inset, rect.bottom - inset};
    return r;
}
