#include "launcher/NewTalmoMainForegroundDialog.h"

#include <cstdio>

#include "BuildConfig.h"
#include "res/resource.h"
#include "ui/UiTexts.h"
#include "update/ResourceManager.h"
#include "util/DebugTrace.h"
#include "util/DeviceId.h"
#include "util/InstallPaths.h"
#include "util/PngResource.h"
#include "util/SystemHelpers.h"
#include "util/UiScale.h"

CNewTalmoMainForegroundDialog::CNewTalmoMainForegroundDialog(CWnd* parent, CResourceManager& resources)
    : CMainForegroundDialog(IDD_MAIN_FOREGROUND, parent, resources) {
    marginLeft = 200;  // sits on the background from x = 200 to its right edge
}

void CNewTalmoMainForegroundDialog::DoDataExchange(CDataExchange* dx) {
    CMainForegroundDialog::DoDataExchange(dx);
    DDX_Control(dx, IDC_BIG_TEXT, bigTextLabel);
    DDX_Control(dx, IDC_MINIMIZE, minimizeButton);
    DDX_Control(dx, IDC_CLOSE, closeButton);
    DDX_Control(dx, IDC_CHAT_GROUP, chatGroupButton);
}

BOOL CNewTalmoMainForegroundDialog::OnInitDialog() {
    CMainForegroundDialog::OnInitDialog();

    // Only the band between y = 103 and y = 350 is shown and takes the mouse.
    POINT band[4] = {{0, Scaled(103)}, {Scaled(987), Scaled(103)}, {Scaled(987), Scaled(350)}, {0, Scaled(350)}};
    if (HRGN region = ::CreatePolygonRgn(band, 4, ALTERNATE)) ::SetWindowRgn(m_hWnd, region, TRUE);

    bigTextLabel.fontStyle = 1;
    bigTextLabel.alignment = 0;
    bigTextLabel.lineAlignment = 1;
    bigTextLabel.fontSize = 20;
    bigTextLabel.textColor = 0xFFDEDBD6;
    bigTextLabel.SetText(L"");
    // The designed line boxes are 15 pixels high and the speed text is longer
    // than the bar: a font that does not fit is drawn smaller, never cut off.
    speedLabel.shrinkToFit = 1;
    statusLabel.shrinkToFit = 1;
    speedLabel.alignment = 2;
    speedLabel.fontSize = 14;
    speedLabel.textColor = 0xFFE3F7FF;
    speedLabel.Invalidate();
    statusLabel.alignment = 0;
    statusLabel.fontSize = 14;
    statusLabel.textColor = 0xFFE3F7FF;
    statusLabel.Invalidate();

    progressBar.SetTrackImage(LoadPngImage(IDB_PNG_PROGRESS_TRACK));
    // The speed line lies over the bar: it stays above it, and the bar, redrawn
    // every 50 ms, leaves the line's pixels alone.
    progressBar.ModifyStyle(0, WS_CLIPSIBLINGS);
    ::SetWindowPos(speedLabel.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    minimizeButton.SetImages(IDB_PNG_MINIMIZE, IDB_PNG_MINIMIZE_HOVER);
    closeButton.SetImages(IDB_PNG_CLOSE, IDB_PNG_CLOSE_HOVER);
    chatGroupButton.SetImages(IDB_PNG_CHAT_GROUP, IDB_PNG_CHAT_GROUP);
    // The pictures show what the buttons do; their texts name them for screen
    // readers and are not drawn.
    const std::pair<CSkinButton*, const wchar_t*> names[] = {
        {&minimizeButton, L"最小化"}, {&closeButton, L"关闭"}, {&chatGroupButton, L"玩家交流群"}};
    for (const auto& [button, name] : names) {
        button->captionInImage = 1;
        button->SetWindowText(name);
    }
    SetWindowText(kTextLauncherTitle);
    return TRUE;
}

void CNewTalmoMainForegroundDialog::LayoutControls() {
    PlaceControl(progressBar, 130, 328, 530, 346);
    PlaceControl(speedLabel, 130, 333, 530, 348);
    // Above the bar, on a line of its own: beside the speed line, a long status
    // ran into the waiting tip at the bar's end.
    PlaceControl(statusLabel, 130, 310, 530, 326);
    PlaceControl(bigTextLabel, 276, 185, 721, 249);
    PlaceControl(minimizeButton, 715, 104, 749, 144);
    PlaceControl(closeButton, 756, 107, 784, 135);
    PlaceControl(chatGroupButton, 660, 288, 765, 321);
}

BOOL CNewTalmoMainForegroundDialog::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDC_MINIMIZE: OnMinimize(); return TRUE;
        case IDC_CLOSE: OnCloseButton(); return TRUE;
        case IDC_CHAT_GROUP: OnChatGroup(); return TRUE;
        default: break;
        }
    }
    return CMainForegroundDialog::OnCommand(wParam, lParam);
}

void CNewTalmoMainForegroundDialog::OnMinimize() {
    ::ShowWindow(ownerDialog ? ownerDialog->m_hWnd : m_hWnd, SW_MINIMIZE);
}

void CNewTalmoMainForegroundDialog::OnCloseButton() {
    // The close climbs the owner chain; the top window asks for confirmation.
    ::SendNotifyMessageW(m_hWnd, WM_CLOSE, 0, 0);
}

void CNewTalmoMainForegroundDialog::OnChatGroup() { OpenUrlInBrowser(CHAT_GROUP_URL_TEXT); }

void CNewTalmoMainForegroundDialog::StartGame() {
    std::wstring deviceId;
    GetDeviceId(&deviceId);
    std::wstring args = BuildGameArguments(GetModulePath(), deviceId,
                                           resources.ComputeResourceHash(),
                                           BuildLoginData(loginData));
    DWORD error = 0;
    if (OpenGameProcess(GetGameFolder(), args, &error)) {
        DebugTrace(L"launcher: game started");
        TerminateSelf();
    }
    wchar_t text[64];
    std::swprintf(text, 64, L"启动失败，错误代码:%d", static_cast<int>(error));
    Flow().AskAboutFailure(text, 0, L"", L"");
    EndLauncher();
}
