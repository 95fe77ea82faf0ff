#include "afx/Dialog.h"

#include "afx/WinApp.h"

namespace {

// Every message goes to the subclassed window procedure first; the dialog
// procedure the system's dialog manager calls has nothing left to do.
INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// MFC's GetSafeOwner: the first non-child window at or above parent (the
// application's main window when there is no parent).
HWND SafeOwner(CWnd* parent) {
    HWND window = AfxSafeHwnd(parent);
    if (!window) {
        CWinApp* app = AfxGetApp();
        if (app) window = AfxSafeHwnd(app->m_pMainWnd);
    }
    while (window && (::GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) window = ::GetParent(window);
    return window;
}

}  // namespace

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (control.m_hWnd || !dx || !dx->m_pDlgWnd) return;
    control.SubclassDlgItem(static_cast<UINT>(id), dx->m_pDlgWnd);
}

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
    if (m_hWnd) DestroyWindow();
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (m_hWnd) return FALSE;
    m_templateId = templateId;
    if (!m_modal) m_pParentWnd = parent;
    AfxRegisterFrameworkClasses();
    HWND owner = m_modal ? m_hParentOverride : AfxSafeHwnd(parent);
    AfxHookWindowCreate(this);
    HWND window = ::CreateDialogParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(templateId), owner,
                                       &AfxDlgProc, 0);
    AfxUnhookWindowCreate();
    if (!window) {
        if (m_hWnd) Detach();
        return FALSE;
    }
    return TRUE;
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd) return -1;
    HWND owner = SafeOwner(m_pParentWnd);
    bool enableOwner = false;
    if (owner && owner != ::GetDesktopWindow() && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        enableOwner = true;
    }
    m_modal = true;
    m_endModal = false;
    m_nModalResult = -1;
    m_hParentOverride = owner;
    if (Create(m_templateId, m_pParentWnd)) {
        if (!m_endModal && m_hWnd) RunModalLoop();
        if (m_hWnd) {
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
        }
    }
    if (enableOwner) ::EnableWindow(owner, TRUE);
    if (owner && m_hWnd && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(owner);
    if (m_hWnd) DestroyWindow();
    m_modal = false;
    m_hParentOverride = nullptr;
    return m_nModalResult;
}

int CDialog::RunModalLoop() {
    m_modalRunning = true;
    bool showOnIdle = !(GetStyle() & WS_VISIBLE);
    MSG msg;
    while (!m_endModal && m_hWnd) {
        if (showOnIdle && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            ShowWindow(SW_SHOWNORMAL);
            UpdateWindow();
            showOnIdle = false;
        }
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!AfxPreTranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    m_modalRunning = false;
    return m_nModalResult;
}

void CDialog::EndDialog(int result) {
    if (m_modal) {
        m_nModalResult = result;
        m_endModal = true;
        // Wake the loop in case nothing else is queued.
        ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::EndDialog(m_hWnd, result);
    }
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    if (!m_hWnd) return FALSE;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::PreTranslateMessage(MSG* msg) {
    if (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST && m_hWnd &&
        (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd))) {
        return ::IsDialogMessageW(m_hWnd, msg);
    }
    return FALSE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (CWnd::OnCommand(wParam, lParam)) return TRUE;
    if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
        switch (LOWORD(wParam)) {
        case IDOK: OnOK(); return TRUE;
        case IDCANCEL: OnCancel(); return TRUE;
        default: break;
        }
    }
    return FALSE;
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_DESTROY:
        // A modal dialog destroyed from elsewhere ends its loop.
        if (m_modal && !m_endModal) {
            m_endModal = true;
            ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
        }
        break;
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
