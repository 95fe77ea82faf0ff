#include "launcher/NewTalmoMainBackgroundDialog.h"

#include "launcher/NewTalmoMainForegroundDialog.h"
#include "update/ResourceManager.h"
#include "res/resource.h"
#include "ui/UiTexts.h"
#include "util/PngResource.h"
#include "util/UiScale.h"

CNewTalmoMainBackgroundDialog::CNewTalmoMainBackgroundDialog(CResourceManager& resources)
    : CMainBackgroundDialog(IDD_SKIN_FRAME, IDB_PNG_MAIN_BACKGROUND, nullptr), resources_(resources) {
    alpha = 0;  // transparent until the foreground exists
    messageBoxOffsetX = 160;
    messageBoxOffsetY = 90;
}

CNewTalmoMainBackgroundDialog::~CNewTalmoMainBackgroundDialog() {
    foreground = nullptr;  // goes with foregroundWindow_
}

BOOL CNewTalmoMainBackgroundDialog::OnInitDialog() {
    CMainBackgroundDialog::OnInitDialog();
    SetWindowText(kTextLauncherTitle);  // the taskbar button's label
    return TRUE;
}

void CNewTalmoMainBackgroundDialog::ShowForeground() {
    if (!foregroundWindow_) {
        foregroundWindow_ = std::make_unique<CNewTalmoMainForegroundDialog>(this, resources_);
        CNewTalmoMainForegroundDialog* window = foregroundWindow_.get();
        foreground = window;
        window->SetOwnerDialog(this);
        window->Flow().SetTaskbar(&Taskbar());
        window->Create(IDD_MAIN_FOREGROUND, this);
        window->ShowWindow(SW_SHOW);
        AlignChildren();
    }
    alpha = 255;
    UpdateLayered();
}

void CNewTalmoMainBackgroundDialog::OnClosing() {
    resources_.StopForClose();
}

void CNewTalmoMainBackgroundDialog::MoveBy(int dx, int dy) { MoveGroup(dx, dy, satellite); }

void CNewTalmoMainBackgroundDialog::AlignChildren() {
    RECT host;
    GetWindowRect(&host);
    float s = GetUiScale();
    if (foreground && foreground->m_hWnd) {
        ContentPlacement place = PlaceContent(host, *foreground, s);
        MoveAndResizeWindow(foreground->m_hWnd, host.left, host.top, place.width, place.height);
        MoveWindowTo(foreground->m_hWnd, host.left + place.offsetX, host.top + place.offsetY);
        foregroundWindow_->SetBackgroundImage(LoadPngBitmap(IDB_PNG_MAIN_BACKGROUND, static_cast<int>(place.offsetX / s),
                                                 static_cast<int>(place.offsetY / s),
                                                 static_cast<int>(place.width / s),
                                                 static_cast<int>(place.height / s)));
    }
    if (satellite && satellite->m_hWnd) {
        POINT at = PlaceSatellite(host, *satellite, s);
        MoveWindowTo(satellite->m_hWnd, at.x, at.y);
    }
}
