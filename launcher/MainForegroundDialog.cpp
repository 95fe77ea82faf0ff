#include "launcher/MainForegroundDialog.h"

#include <windowsx.h>
#include <cstdio>
#include <iterator>

#include "launcher/DownloadSettings.h"
#include "launcher/GameStart.h"
#include "launcher/LaunchParameters.h"
#include "launcher/ProcessWatch.h"
#include "res/resource.h"
#include "update/ResourceManager.h"
#include "util/DebugTrace.h"
#include "util/DeviceId.h"
#include "util/FileUtils.h"
#include "util/InstallPaths.h"
#include "util/PngResource.h"
#include "util/SystemHelpers.h"
#include "util/TextEncoding.h"
#include "util/UiScale.h"

CMainForegroundDialog::CMainForegroundDialog(UINT templateId, CWnd* parent, CResourceManager& resources)
    : CDialogBase(templateId, parent), resources(resources) {}

CMainForegroundDialog::~CMainForegroundDialog() {
    noticeRequest.Shutdown();
}

void CMainForegroundDialog::DoDataExchange(CDataExchange* dx) {
    CDialogBase::DoDataExchange(dx);
    DDX_Control(dx, IDC_PROGRESS, progressBar);
    DDX_Control(dx, IDC_SPEED_TEXT, speedLabel);
    DDX_Control(dx, IDC_STATUS_TEXT, statusLabel);
}

BOOL CMainForegroundDialog::OnInitDialog() {
    CDialogBase::OnInitDialog();
    ModifyStyleEx(WS_EX_TRANSPARENT, WS_EX_COMPOSITED | WS_EX_LAYERED);
    // Where WS_EX_COMPOSITED is not honoured (Wine), the controls paint the
    // backdrop under themselves and the window must not paint over them.
    ModifyStyle(0, WS_CLIPCHILDREN);
    // A layered window without attributes is never drawn; this one is fully opaque.
    ::SetLayeredWindowAttributes(m_hWnd, 0, 255, LWA_ALPHA);

    progressBar.LoadBarImage();
    progressBar.fraction = 0;
    progressBar.Invalidate();
    for (CCustomLabel* label : {&statusLabel, &speedLabel}) label->textColor = 0xFFD7F0FF;

    noticeRequest.SetResultCallback(
        [this](const std::vector<std::wstring>& listUrls, RequestNoticeResult result, const FailureCause& cause) {
            PostNoticeResult(listUrls, result, cause);
        });
    // Once, for every run: a worker of the last run may still be ending.
    resources.SetReportPoster(
        [this](ResourceManagerProgressState state, UpdateReport report) { PostReport(state, std::move(report)); });
    LoadBackgroundImage();
    LayoutControls();
    speedLimitMb_ = LoadSpeedLimitMb(DownloadSettingsPath(GetDataFolder()));
    resources.Downloader().SetSpeedLimit(SpeedLimitBytesPerSecond(speedLimitMb_));
    DebugTrace(L"launcher: speed limit " + IntToText(static_cast<int32_t>(speedLimitMb_)));
    flow_.Start();  // texts, the bar and speed timers, the tips and the game watch
    if (IsRepairRequested()) flow_.RequestRepair();
    return TRUE;
}

LRESULT CMainForegroundDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_UPDATE_PROGRESS:
        RunPostedTasks();
        return 0;
    case WM_TIMER:
        HandleTimer(wParam);
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE: {
        LRESULT result = CDialogBase::WindowProc(message, wParam, lParam);
        OnSizeChanged();
        return result;
    }
    case WM_LBUTTONDOWN:
        drag.Begin(m_hWnd);
        return 0;
    case WM_MOUSEMOVE: {
        int dx, dy;
        if (drag.Move(&dx, &dy) && ownerDialog && (dx || dy)) ownerDialog->MoveBy(dx, dy);
        return 0;
    }
    case WM_LBUTTONUP:
        drag.End();
        return 0;
    case WM_CONTEXTMENU:
        ShowContextMenu(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    default:
        return CDialogBase::WindowProc(message, wParam, lParam);
    }
}

void CMainForegroundDialog::PostToWindow(UiTaskQueue::Task task, int32_t mergeKey) {
    if (tasks_.Post(std::move(task), mergeKey) && !::PostMessageW(m_hWnd, WM_UPDATE_PROGRESS, 0, 0)) {
        tasks_.WakeFailed();  // the bar timer runs the tasks instead
    }
}

void CMainForegroundDialog::PostReport(ResourceManagerProgressState state, UpdateReport report) {
    const bool counter = IsCounterReport(state);
    PostToWindow(
        [this, state, counter, report = std::move(report)] {
            if (!counter) {
                wchar_t line[32];
                std::swprintf(line, 32, L"launcher: state %d", static_cast<int>(state));
                DebugTrace(line);
            }
            report(flow_);
        },
        counter ? state : 0);
}

void CMainForegroundDialog::PostNoticeResult(const std::vector<std::wstring>& listUrls, RequestNoticeResult result,
                                             const FailureCause& cause) {
    PostReport(NoticeResult,
               [this, listUrls, result, cause](UpdateReports&) { flow_.OnNoticeResult(listUrls, result, cause); });
}

void CMainForegroundDialog::RunPostedTasks() {
    UiTaskQueue::Task task;
    while (tasks_.TakeNext(&task)) task();
}

void CMainForegroundDialog::ShowContextMenu(int x, int y) {
    const UINT kRepairCommand = 1;
    const UINT kPauseCommand = 2;
    const UINT kResumeCommand = 3;
    const UINT kFirstLimitCommand = 10;  // one per choice, in the choices' order
    ScopedMenu menu(::CreatePopupMenu());
    if (!menu || !::AppendMenuW(menu.Get(), MF_STRING, kRepairCommand, L"检查并修复游戏文件")) return;
    if (flow_.CanPause()) ::AppendMenuW(menu.Get(), MF_STRING, kPauseCommand, L"暂停下载");
    if (flow_.IsPaused()) ::AppendMenuW(menu.Get(), MF_STRING, kResumeCommand, L"继续下载");
    // The submenu belongs to the menu once appended; until then it is ours.
    ScopedMenu limits(::CreatePopupMenu());
    if (limits) {
        UINT command = kFirstLimitCommand;
        for (uint32_t mb : kSpeedLimitChoices) {
            std::wstring label = mb == 0 ? L"不限速" : IntToText(static_cast<int32_t>(mb)) + L" MB/s";
            ::AppendMenuW(limits.Get(), MF_STRING | (mb == speedLimitMb_ ? MF_CHECKED : MF_UNCHECKED), command++,
                          label.c_str());
        }
        if (::AppendMenuW(menu.Get(), MF_POPUP, reinterpret_cast<UINT_PTR>(limits.Get()), L"下载限速")) {
            limits.Release();
        }
    }
    if (x == -1 && y == -1) {  // from the keyboard: at the window's corner
        RECT rect;
        ::GetWindowRect(m_hWnd, &rect);
        x = rect.left;
        y = rect.top;
    }
    DebugTrace(L"launcher: menu shown");
    UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, x, y,
                                                      0, m_hWnd, nullptr));
    if (chosen == kRepairCommand) {
        DebugTrace(L"launcher: repair requested");
        flow_.RequestRepair();
    } else if (chosen == kPauseCommand) {
        DebugTrace(L"launcher: pause requested");
        flow_.Pause();
    } else if (chosen == kResumeCommand) {
        DebugTrace(L"launcher: resume requested");
        flow_.Resume();
    } else if (chosen >= kFirstLimitCommand && chosen < kFirstLimitCommand + std::size(kSpeedLimitChoices)) {
        ChooseSpeedLimit(kSpeedLimitChoices[chosen - kFirstLimitCommand]);
    }
}

void CMainForegroundDialog::ChooseSpeedLimit(uint32_t mb) {
    speedLimitMb_ = mb;
    resources.Downloader().SetSpeedLimit(SpeedLimitBytesPerSecond(mb));
    // Not saved: the limit still holds for this run.
    SaveSpeedLimitMb(DownloadSettingsPath(GetDataFolder()), mb);
    DebugTrace(L"launcher: speed limit " + IntToText(static_cast<int32_t>(mb)));
}

void CMainForegroundDialog::HandleTimer(UINT_PTR id) {
    if (id == TIMER_PROGRESS_BAR) RunPostedTasks();  // in case a wake-up could not be posted
    flow_.HandleTimer(static_cast<uint32_t>(id));
}

void CMainForegroundDialog::OnSizeChanged() {
    if (ownerDialog) ownerDialog->MoveBy(0, 0);
}

void CMainForegroundDialog::LayoutControls() {
    PlaceControl(progressBar, 11, 358, 700, 376);
    PlaceControl(statusLabel, 9, 369, 705, 382);
}

void CMainForegroundDialog::LoadBackgroundImage() { SetBackgroundImage(LoadPngImage(IDB_PNG_MAIN_BACKGROUND)); }

std::wstring CMainForegroundDialog::GetGameFolder() { return GetGameRootFolder(); }

uint64_t CMainForegroundDialog::FreeSpaceFloor() { return resources.Downloader().freeSpaceFloor; }

void CMainForegroundDialog::SetBackgroundImage(std::unique_ptr<Gdiplus::Image> image) {
    backgroundImage = std::move(image);
    if (backgroundImage) {
        backgroundWidth = Scaled(static_cast<int>(backgroundImage->GetWidth()));
        backgroundHeight = Scaled(static_cast<int>(backgroundImage->GetHeight()));
    }
    if (m_hWnd) Invalidate(FALSE);
}

void CMainForegroundDialog::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    {
        Gdiplus::Graphics graphics(dc);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
        if (backgroundImage) graphics.DrawImage(backgroundImage.get(), 0, 0, backgroundWidth, backgroundHeight);
    }
    ::EndPaint(m_hWnd, &ps);
}

bool CMainForegroundDialog::PaintBackdropUnder(HWND child, HDC dc) {
    if (!backgroundImage) return false;
    const POINT origin = ChildOriginInHost(m_hWnd, child);
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(backgroundImage.get(), -origin.x, -origin.y, backgroundWidth, backgroundHeight);
    return true;
}

void CMainForegroundDialog::SetStatusText(const std::wstring& text) { statusLabel.SetText(text); }

void CMainForegroundDialog::SetSpeedText(const std::wstring& text) { speedLabel.SetText(text); }

void CMainForegroundDialog::ShowBarFraction(float fraction) { progressBar.SetFraction(fraction); }

int32_t CMainForegroundDialog::AskUser(const std::wstring& text, int32_t style, const std::wstring& first,
                                      const std::wstring& second) {
    return ShowMessageBox(nullptr, text, style, first, second, 0);
}

void CMainForegroundDialog::StartTimer(uint32_t id, uint32_t ms) { ::SetTimer(m_hWnd, id, ms, nullptr); }

void CMainForegroundDialog::StopTimer(uint32_t id) { ::KillTimer(m_hWnd, id); }

void CMainForegroundDialog::EndLauncher() {
    DebugTrace(L"launcher: ending");
    TerminateSelf();
}

void CMainForegroundDialog::RestartLauncher() {
    if (StartEntranceForRestart()) {
        SetStatusText(L"重启Launcher成功");
        SetConfirmClose(this, 0);
        if (auto* parent = dynamic_cast<CDialogBase*>(CWnd::FromHandlePermanent(::GetParent(m_hWnd)))) {
            SetConfirmClose(parent, 0);
        }
        DebugTrace(L"launcher: restarting through the entrance");
        TerminateSelf();
    }
    const wchar_t kFailed[] = L"重启Launcher失败，参数错误";
    SetStatusText(kFailed);
    flow_.AskAboutFailure(kFailed, 0, L"", L"");
    EndLauncher();
}

bool CMainForegroundDialog::IsGameRunning(const std::wstring& gamePath) { return IsProcessRunning(gamePath); }

void CMainForegroundDialog::SendNoticeRequest() {
    std::wstring deviceId;
    GetDeviceId(&deviceId);
    noticeRequest.Request(std::make_unique<NoticeRequestParams>(MakeNoticeRequestInfo(deviceId, GetModulePath())));
}

void CMainForegroundDialog::InitializeResources(const std::wstring& launcherFolder, const std::wstring& gameFolder,
                                                const std::vector<std::wstring>& listUrls) {
    resources.Initialize(launcherFolder, gameFolder, listUrls);
}

void CMainForegroundDialog::StartComparison(bool repair) { resources.StartComparison(repair); }

void CMainForegroundDialog::StartBatches() { resources.StartBatches(); }

void CMainForegroundDialog::PauseDownload() { resources.PauseDownload(); }

void CMainForegroundDialog::ResumeDownload() { resources.ResumeDownload(); }

bool CMainForegroundDialog::GetDiskFreeBytes(const std::wstring& root, uint64_t* freeBytes) {
    return FreeDiskBytes(root, freeBytes);
}
