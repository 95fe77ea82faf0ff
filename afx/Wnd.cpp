#include "afx/Wnd.h"

#include <unordered_map>
#include <vector>

#include "afx/ScopedWin.h"

// Attaches and subclasses the window a creation hook caught.
void AfxAttachCreatingWindow(CWnd* wnd, HWND window);

namespace {

// HWND -> object, for every attached window of the process.
CriticalSection& MapLock() {
    static CriticalSection lock;
    return lock;
}
std::unordered_map<HWND, CWnd*>& HandleMap() {
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

// The message each window procedure call is handling, for CWnd::Default.
struct CurrentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
thread_local CurrentMessage t_current = {nullptr, 0, 0, 0};

// The creation hook.
thread_local HHOOK t_cbtHook = nullptr;
thread_local CWnd* t_creating = nullptr;

bool IsIgnoredClass(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return lstrcmpiW(name, L"IME") == 0 || lstrcmpiW(name, L"MSCTFIME UI") == 0 ||
           lstrcmpiW(name, L"#32768") == 0;
}

LRESULT CALLBACK CbtFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_creating) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (!IsIgnoredClass(window)) {
            CWnd* wnd = t_creating;
            t_creating = nullptr;
            AfxAttachCreatingWindow(wnd, window);
        }
    }
    return ::CallNextHookEx(t_cbtHook, code, wParam, lParam);
}

}  // namespace

void AfxAttachCreatingWindow(CWnd* wnd, HWND window) {
    wnd->AddToMap(window);
    wnd->m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
}

void AfxHookWindowCreate(CWnd* wnd) {
    if (!t_cbtHook) {
        t_cbtHook = ::SetWindowsHookExW(WH_CBT, &CbtFilter, nullptr, ::GetCurrentThreadId());
    }
    t_creating = wnd;
}

bool AfxUnhookWindowCreate() {
    bool caught = t_creating == nullptr;
    t_creating = nullptr;
    if (t_cbtHook) {
        ::UnhookWindowsHookEx(t_cbtHook);
        t_cbtHook = nullptr;
    }
    return caught;
}

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd) {
        // The derived parts are gone: only the default processing remains.
        if (::IsWindow(m_hWnd)) {
            HWND window = m_hWnd;
            if (m_pfnSuper) {
                ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
                m_pfnSuper = nullptr;
            }
            RemoveFromMap();
            ::DestroyWindow(window);
        } else {
            RemoveFromMap();
        }
    }
}

void CWnd::AddToMap(HWND window) {
    ScopedLock lock(MapLock());
    m_hWnd = window;
    HandleMap()[window] = this;
}

void CWnd::RemoveFromMap() {
    ScopedLock lock(MapLock());
    auto found = HandleMap().find(m_hWnd);
    if (found != HandleMap().end() && found->second == this) HandleMap().erase(found);
    m_hWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
    if (!window) return nullptr;
    ScopedLock lock(MapLock());
    auto found = HandleMap().find(window);
    return found == HandleMap().end() ? nullptr : found->second;
}

bool CWnd::Attach(HWND window) {
    if (!window || m_hWnd || FromHandlePermanent(window)) return false;
    AddToMap(window);
    return true;
}

HWND CWnd::Detach() {
    HWND window = m_hWnd;
    if (window) RemoveFromMap();
    return window;
}

bool CWnd::SubclassWindow(HWND window) {
    if (!Attach(window)) return false;
    PreSubclassWindow();
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (!m_pfnSuper) {
        Detach();
        return false;
    }
    return true;
}

bool CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    if (!parent || !parent->m_hWnd) return false;
    HWND item = ::GetDlgItem(parent->m_hWnd, static_cast<int>(id));
    return item && SubclassWindow(item);
}

HWND CWnd::UnsubclassWindow() {
    if (!m_hWnd) return nullptr;
    if (m_pfnSuper) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
        m_pfnSuper = nullptr;
    }
    return Detach();
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(t_current.message, t_current.wParam, t_current.lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    // A control's notification is offered to the control first.
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control) {
        CWnd* child = FromHandlePermanent(control);
        LRESULT ignored = 0;
        if (child && child != this && child->OnChildNotify(WM_COMMAND, wParam, lParam, &ignored)) return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return FALSE; }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (OnCommand(wParam, lParam)) return 0;
        break;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        if (item && item->CtlType != ODT_MENU) {
            CWnd* child = FromHandlePermanent(item->hwndItem);
            LRESULT result = TRUE;
            if (child && child != this && child->OnChildNotify(message, wParam, lParam, &result)) return result;
        }
        break;
    }
    default:
        break;
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

std::wstring AfxGetWindowText(HWND window) {
    int length = ::GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
    int got = ::GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

std::wstring CWnd::GetWindowText() const { return AfxGetWindowText(m_hWnd); }

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT swpFlags) {
    DWORD style = GetStyle();
    DWORD updated = (style & ~remove) | add;
    if (style == updated) return FALSE;
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>(updated));
    if (swpFlags) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    }
    return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags) {
    DWORD style = GetExStyle();
    DWORD updated = (style & ~remove) | add;
    if (style == updated) return FALSE;
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(updated));
    if (swpFlags) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | swpFlags);
    }
    return TRUE;
}

LRESULT CALLBACK AfxWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(window);
    if (!wnd) return ::DefWindowProcW(window, message, wParam, lParam);
    CurrentMessage saved = t_current;
    t_current = {window, message, wParam, lParam};
    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window is gone; the object lives on without it (unless it was
        // attached to another window meanwhile).
        if (CWnd::FromHandlePermanent(window) == wnd) {
            wnd->m_pfnSuper = nullptr;
            wnd->RemoveFromMap();
        }
    }
    t_current = saved;
    return result;
}

BOOL AfxPreTranslateMessage(MSG* msg) {
    for (HWND window = msg->hwnd; window; window = ::GetParent(window)) {
        CWnd* wnd = CWnd::FromHandlePermanent(window);
        if (wnd && wnd->PreTranslateMessage(msg)) return TRUE;
        if (!(::GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) break;  // top-level reached
    }
    return FALSE;
}

void AfxRegisterFrameworkClasses() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    // "MfcButton": MFC's feature-pack button class, which dialog templates may
    // name; here it is a plain push button under that class name.
    WNDCLASSEXW button = {};
    button.cbSize = sizeof(button);
    if (::GetClassInfoExW(nullptr, L"Button", &button)) {
        button.cbSize = sizeof(button);
        button.hInstance = ::GetModuleHandleW(nullptr);
        button.lpszClassName = L"MfcButton";
        button.style |= CS_GLOBALCLASS;
        ::RegisterClassExW(&button);
    }
}
