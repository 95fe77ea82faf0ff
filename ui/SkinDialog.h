#pragma once
// The frame of a skinned box: a layered PNG window that carries a content window.
#include <windows.h>
#include <memory>
#include <optional>
#include <string>

#include "ui/LayeredBackgroundDialog.h"

class CSkinUIDialog;

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
