#pragma once
// Stand-ins for MFC's CButton and CStatic: windows of the system classes,
// subclassed from dialog templates. An owner-drawn button gets the WM_DRAWITEM
// its parent receives, reflected to DrawItem.
#include "afx/Wnd.h"

class CButton : public CWnd {
public:
    virtual void DrawItem(DRAWITEMSTRUCT* item) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        if (message == WM_DRAWITEM) {
            DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
            *result = TRUE;
            return TRUE;
        }
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    }
};

class CStatic : public CWnd {
public:
    virtual void DrawItem(DRAWITEMSTRUCT* item) {}
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        if (message == WM_DRAWITEM) {
            DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
            *result = TRUE;
            return TRUE;
        }
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    }
};
