#pragma once
// A small stand-in for MFC's CWnd: one C++ object per window, found from the
// HWND through a process-wide map, with the window's messages dispatched to the
// object's virtual WindowProc. Windows are attached either when they are made
// (a creation hook catches the first window a Create call makes, so even
// WM_NCCREATE and WM_CREATE reach the object) or by subclassing an existing
// window (SubclassWindow, SubclassDlgItem, DDX_Control).
#include <windows.h>
#include <string>

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;

    operator HWND() const { return m_hWnd; }

    // The object attached to a window, or null.
    static CWnd* FromHandlePermanent(HWND window);

    // Attaches without subclassing (messages still go to the window's own procedure).
    bool Attach(HWND window);
    HWND Detach();
    // Attaches and routes the window's messages through WindowProc; the window's
    // previous procedure becomes the default processing. PreSubclassWindow runs first.
    bool SubclassWindow(HWND window);
    bool SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    // Hooks for derived classes.
    virtual void PreSubclassWindow() {}
    // Keyboard and mouse messages of the modal loops pass here first (from the
    // target window up through its parents); TRUE means handled, not dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg) { return FALSE; }
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // WM_COMMAND; TRUE when handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // Messages a parent reflects to the control they concern (WM_DRAWITEM).
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    // Default processing of the message being handled (the previous window procedure).
    LRESULT Default();
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Thin wrappers.
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL DestroyWindow();
    void GetWindowRect(RECT* rect) const { ::GetWindowRect(m_hWnd, rect); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    void SetWindowText(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rect, erase); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL MoveWindow(int x, int y, int cx, int cy, BOOL repaint = TRUE) {
        return ::MoveWindow(m_hWnd, x, y, cx, cy, repaint);
    }
    BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
    }

protected:
    WNDPROC m_pfnSuper = nullptr;

private:
    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend void AfxAttachCreatingWindow(CWnd*, HWND);
    void AddToMap(HWND window);
    void RemoveFromMap();
};

// The window's text (empty when it has none or is no window).
std::wstring AfxGetWindowText(HWND window);

// The window of an object that may be null.
inline HWND AfxSafeHwnd(const CWnd* wnd) { return wnd ? wnd->m_hWnd : nullptr; }

// The window procedure of every attached window.
LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The next window created on this thread (except IME and menu windows) is
// attached to wnd and subclassed as soon as it exists. Unhook after the Create
// call; answers whether the window was caught.
void AfxHookWindowCreate(CWnd* wnd);
bool AfxUnhookWindowCreate();

// What a modal loop does with each message before dispatching it: offers it to
// PreTranslateMessage of the target window's object and of each parent up to the
// first top-level window. TRUE when one of them handled it.
BOOL AfxPreTranslateMessage(MSG* msg);

// Registers the framework's window classes that dialog templates may name
// ("MfcButton": a push button). Idempotent; CDialog calls it before every creation.
void AfxRegisterFrameworkClasses();
