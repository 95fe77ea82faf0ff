#pragma once
// The skinned message box, a borderless, draggable, modal pair of a
// layered PNG frame (CSkinDialog) and a content window on it (CSkinMessageBox,
// a CSkinUIDialog) with a text and one or two image buttons; ShowSkinMessageBox
// runs one. While a box runs the windows below it are disabled; a box opened
// from a box hides the boxes under it until it is answered.
#include <windows.h>
#include <gdiplus.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/SkinControls.h"
#include "ui/SkinDialog.h"
#include "ui/SkinUIDialog.h"

class SkinMessageBoxData : public UIDataBase {
public:
    SkinMessageBoxData(std::wstring textValue, int styleValue, std::wstring first, std::wstring second,
                       int swap)
        : text(std::move(textValue)), style(styleValue), firstButtonText(std::move(first)),
          secondButtonText(std::move(second)), swapImages(swap) {}
    std::wstring text;
    int style = 0;                 // 0, 0x10, 0x20, 0x30, 0x40, 0x4000: one button; otherwise two
    std::wstring firstButtonText;  // empty: "确定"
    std::wstring secondButtonText; // empty: "取消"
    int swapImages = 0;            // non-zero: first button 140/150, second 139/149
};

// Whether a message-box style shows a single button.
bool IsSingleButtonStyle(int style);

class CSkinMessageBox : public CSkinUIDialog {
public:
    explicit CSkinMessageBox(CWnd* parent = nullptr);
    ~CSkinMessageBox() override;

    CSkinButton firstButton;    // control 1008
    CSkinButton secondButton;   // control 1009
    CCustomLabel messageLabel;  // control 1010

    SkinMessageBoxData* Data() const { return dynamic_cast<SkinMessageBoxData*>(uiData.get()); }

    BOOL OnInitDialog() override;
    void OnShowWindow(BOOL show, UINT status) override;
    void OnSize(UINT type, int cx, int cy) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void DoDataExchange(CDataExchange* dx) override;

private:
    static const UINT kTraceButtonsMessage = WM_APP + 21;
    void TraceButtonCentres();
    // One-button styles: hide the second button, centre the first horizontally.
    void Relayout();
};

// Runs one box: text, placement (null for none; the box is centred in it,
// else in the parent, else on the screen), captions, swap flag, parent window
// (the frame's owner; null for none) and style. 1 for the first button, 7 for
// the second; a system close ends it with another value.
int ShowSkinMessageBox(const std::wstring& text, const RECT* placement, const std::wstring& firstButtonText,
                       const std::wstring& secondButtonText, int swapImages, HWND parent, int style);

// The frames whose modal loop is running, innermost last.
const std::vector<CSkinDialog*>& OpenSkinMessageBoxes();
