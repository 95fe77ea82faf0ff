#pragma once
// The launcher's main foreground window: the look of its controls, its band
// shaped region, the minimise, close and chat-group buttons, and the game start.
#include "launcher/GameStart.h"
#include "launcher/MainForegroundDialog.h"

class CNewTalmoMainForegroundDialog : public CMainForegroundDialog {
public:
    CNewTalmoMainForegroundDialog(CWnd* parent, CResourceManager& resources);

    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void StartGame() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void LayoutControls() override;
    void LoadBackgroundImage() override {}  // the background window hands over its backdrop

private:
    void OnMinimize();
    void OnCloseButton();
    void OnChatGroup();

    LoginDataMap loginData;
    CCustomLabel bigTextLabel;  // 1009, left empty
    CSkinButton minimizeButton;  // 1007
    CSkinButton closeButton;     // 1008
    CSkinButton chatGroupButton;  // 1014
};
