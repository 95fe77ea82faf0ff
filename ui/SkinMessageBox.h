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

#include "ui/DragTracker.h"
#include "ui/LayeredBackgroundDialog.h"
#include "ui/SkinControls.h"

class UIDataBase {
public:
    virtual ~UIDataBase() = default;
};

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

// A content window laid on a layered frame; painted from the frame's picture
// (backdrop), invisible until its first paint.
class CSkinUIDialog : public CDialogBase, public ISkinBackdropHost {
public:
    CSkinUIDialog(UINT templateId, CWnd* parent);
    ~CSkinUIDialog() override;

    std::unique_ptr<Gdiplus::Bitmap> backdrop;
    std::unique_ptr<UIDataBase> uiData;
    DragTracker drag;  // when draggable: moves the owner dialog's group

    virtual void OnPaint();
    virtual void OnSize(UINT type, int cx, int cy);
    virtual bool ShouldPaintBackground(const RECT& paintRect) { return true; }

    // Replaces the backdrop and repaints.
    void SetBackdrop(std::unique_ptr<Gdiplus::Bitmap> bitmap);
    void SetUiData(std::unique_ptr<UIDataBase> data) { uiData = std::move(data); }

    BOOL OnInitDialog() override;
    void OnShowWindow(BOOL show, UINT status) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PaintBackdropUnder(HWND child, HDC dc) override;

private:
    void DrawBackdrop(Gdiplus::Graphics& graphics, int originX, int originY);
};

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

// The frame: a layered PNG window that carries a content window.
class CSkinDialog : public CLayeredBackgroundDialog {
public:
    CSkinDialog(UINT pngId, UINT templateId, CWnd* parent);
    ~CSkinDialog() override;

    std::unique_ptr<CSkinUIDialog> content;
    int contentTemplateId = 0;
    std::optional<RECT> placementRect;

    BOOL OnInitDialog() override;
    void MoveBy(int dx, int dy) override;
    int ShowMessageBox(HWND owner, const std::wstring& text, int style, const std::wstring& firstButtonText,
                       const std::wstring& secondButtonText, int swapImages) override;
    void BringGroupToFront() override;
};

// Runs one box: text, placement (null for none; the box is centred in it,
// else in the parent, else on the screen), captions, swap flag, parent window
// (the frame's owner; null for none) and style. 1 for the first button, 7 for
// the second; a system close ends it with another value.
int ShowSkinMessageBox(const std::wstring& text, const RECT* placement, const std::wstring& firstButtonText,
                       const std::wstring& secondButtonText, int swapImages, HWND parent, int style);

// The frames whose modal loop is running, innermost last.
const std::vector<CSkinDialog*>& OpenSkinMessageBoxes();
