#pragma once
// A small stand-in for MFC's CDialog: dialogs made from the templates in our
// resources, modeless (Create) or modal (DoModal, with MFC's own modal loop so
// that PreTranslateMessage sees every message), OnInitDialog, EndDialog and the
// data exchange that subclasses template controls (DDX_Control).
#include "afx/Wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Subclasses the dialog's control id with control, the first time only.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
public:
    CDialog() = default;
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Modeless: creates the dialog from the template with parent as parent and
    // owner window. False when the window could not be made.
    BOOL Create(UINT templateId, CWnd* parent = nullptr);
    // Modal: disables the parent's top-level window, creates the dialog, runs
    // the modal loop until EndDialog, destroys the window and re-enables the
    // parent. A dialog whose template is not visible is shown at the loop's
    // first idle moment. Returns the EndDialog value, -1 when creation failed.
    INT_PTR DoModal();

    virtual BOOL OnInitDialog();
    void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Modal: ends the loop with result. Modeless: hides the window (::EndDialog).
    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // EndDialog was called while the modal loop runs (it ends when control returns to it).
    bool IsEndRequested() const { return m_endModal; }
    CWnd* ParentWnd() const { return m_pParentWnd; }

protected:
    virtual void DoDataExchange(CDataExchange* dx) {}
    int RunModalLoop();

    UINT m_templateId = 0;
    CWnd* m_pParentWnd = nullptr;
    HWND m_hParentOverride = nullptr;  // the owner DoModal chose
    bool m_modal = false;
    bool m_modalRunning = false;
    bool m_endModal = false;
    int m_nModalResult = -1;
};
