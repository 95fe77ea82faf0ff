#pragma once
// Stand-ins for MFC's CButton and CStatic: windows of the system classes,
// subclassed from dialog templates. An owner-drawn control gets the WM_DRAWITEM
// its parent receives, reflected to DrawItem.
#include "afx/Wnd.h"

// A control that draws itself when its parent reflects WM_DRAWITEM to it.
class COwnerDrawnControl : public CWnd {
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

class CButton : public COwnerDrawnControl {};

class CStatic : public COwnerDrawnControl {};
