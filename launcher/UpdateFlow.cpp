#include "launcher/UpdateFlow.h"

#include <cstdio>

#include "launcher/FailureText.h"
#include "launcher/GameStart.h"
#include "launcher/ProgressFormat.h"
#include "util/DebugTrace.h"

namespace {
const wchar_t kRetry[] = L"重试";
const wchar_t kQuit[] = L"退出";
}  // namespace

void UpdateFlow::Start() {
    display_.progress = 0;
    host_.ShowBarFraction(0);
    SetStatus(L"游戏初始化中...");
    host_.SetSpeedText(L"游戏初始化中...");
    display_.downloading = false;
    host_.StartTimer(TIMER_PROGRESS_BAR, 50);
    host_.StartTimer(TIMER_SPEED_TEXT, 1000);
    display_.BuildTips();
    host_.StartTimer(TIMER_GAME_WATCH, 500);
}

void UpdateFlow::HandleTimer(uint32_t id) {
    switch (id) {
    case TIMER_PROGRESS_BAR:
        host_.ShowBarFraction(display_.BarFraction());
        break;
    case TIMER_GAME_WATCH:
        if (host_.IsGameRunning(host_.GetGameFolder() + kGameExecutable)) {
            SetStatus(L"等待游戏结束...");
            break;
        }
        host_.StopTimer(TIMER_GAME_WATCH);
        if (noticePending_) {
            noticePending_ = false;
            StartNoticeRequest();
        }
        break;
    case TIMER_START_GAME:
        host_.StopTimer(TIMER_START_GAME);
        host_.StartGame();
        break;
    case TIMER_RESTART:
        host_.StopTimer(TIMER_RESTART);
        host_.RestartLauncher();
        break;
    case TIMER_SPEED_TEXT: {
        std::wstring status, speed;
        if (display_.UpdateSpeedLine(&status, &speed)) {
            SetStatus(status);
            host_.SetSpeedText(speed);
        }
        break;
    }
    default:
        break;
    }
}

void UpdateFlow::StartNoticeRequest() {
    display_.progress = 0;
    SetStatus(L"获取游戏更新地址...");
    host_.SendNoticeRequest();
}

void UpdateFlow::StartUpdate(const std::vector<std::wstring>& listUrls) {
    display_.ResetProgressCounters();
    listUrls_ = listUrls;
    repairThisRun_ = repairRequested_;
    repairRequested_ = false;
    std::wstring folder = host_.GetGameFolder();
    host_.InitializeResources(folder, folder, listUrls);
}

void UpdateFlow::RequestRepair() { repairRequested_ = true; }

void UpdateFlow::ShowFailure(const std::wstring& text, const FailureCause& cause) {
    display_.progress = 1;
    OfferRetry(text, cause);
}

void UpdateFlow::OfferRetry(const std::wstring& text, const FailureCause& cause) {
    SetStatus(text);
    const std::wstring causeLine = FailureCauseLine(cause);
    if (AskAboutFailure(causeLine.empty() ? text : text + L"\n" + causeLine, 1, kRetry, kQuit) == 1) {
        StartNoticeRequest();  // the whole run begins again
    } else {
        host_.EndLauncher();
    }
}

int32_t UpdateFlow::AskAboutFailure(const std::wstring& text, int32_t style, const std::wstring& first,
                                    const std::wstring& second) {
    // The whole button turns red, however far a download had come: the failure
    // is seen on a minimised launcher.
    SetTaskbarState(TaskbarState::Error);
    SetTaskbarValue(1, 1);
    int32_t answer = host_.AskUser(text, style, first, second);
    SetTaskbarState(TaskbarState::None);  // a retry starts a new run; otherwise the launcher ends
    return answer;
}

void UpdateFlow::SetTaskbarState(TaskbarState state) {
    if (taskbar_) taskbar_->SetState(state);
}

void UpdateFlow::SetTaskbarValue(uint64_t done, uint64_t total) {
    if (taskbar_ && total > 0) taskbar_->SetValue(done, total);
}

void UpdateFlow::OnLocalCheckStarted() {
    SetStatus(L"开始校验本地资源...");
    display_.progress = 0;
    display_.phase = 0;
}

void UpdateFlow::OnLocalCheckFinished() {
    SetStatus(L"校验本地资源完成...");
    display_.progress = 1;
}

void UpdateFlow::OnCdnCompareStarted() {
    SetStatus(L"开始比对服务器资源...");
    display_.progress = 0;
}

void UpdateFlow::OnCdnCompareFinished() {
    SetStatus(L"比对服务器资源完成...");
    display_.progress = 1;
    host_.StartComparison(repairThisRun_);
}

void UpdateFlow::OnDownloadTotalSize(int64_t totalSize) {
    if (totalSize > 0) {
        CheckDiskSpaceAndStart(static_cast<uint64_t>(totalSize));
    } else {
        host_.StartBatches();  // nothing to fetch needs no room
    }
}

void UpdateFlow::OnCdnCompareFailed(bool listUnverified, const FailureCause& cause) {
    ShowFailure(listUnverified ? L"资源列表校验失败，请重试!" : L"比对服务器资源失败!", cause);
}

void UpdateFlow::OnResourceDownloadStarted() { BatchStarted(L"美女指挥官正在为您调配游戏资源..."); }

void UpdateFlow::OnResourceDownloadFailed(const FailureCause& cause) {
    BatchEnded();
    ShowFailure(L"加载服务器资源失败!", cause);
}

void UpdateFlow::OnLauncherDownloadStarted() { BatchStarted(L"加载Launcher资源中,请耐心等待..."); }

void UpdateFlow::OnLauncherDownloadFailed(const FailureCause& cause) {
    BatchEnded();
    ShowFailure(L"加载Launcher资源失败!", cause);
}

void UpdateFlow::OnDownloadPaused() {
    // A resume may have come before the workers stood still: then it stands.
    if (paused_) ShowPaused();
}

void UpdateFlow::OnDownloadProgress(int64_t downloaded, int64_t total) {
    // A few a second: the batch reports on a clock, and a waiting report is
    // replaced by the next.
    DebugTrace(L"launcher: download progress " + std::to_wstring(downloaded) + L"/" + std::to_wstring(total));
    display_.ApplyDownloadProgress(downloaded, total);
    // The share of the bytes, not the bar's three passes.
    if (downloaded >= 0 && total > 0) {
        SetTaskbarValue(static_cast<uint64_t>(downloaded), static_cast<uint64_t>(total));
    }
}

void UpdateFlow::OnLauncherUpdateFinished() {
    BatchEnded();
    SetStatus(L"Launcher更新完成,正在重启Launcher...");
    display_.progress = 1;
    SetTaskbarState(TaskbarState::None);
    host_.AskUser(L"Launcher更新完成,准备重启Launcher!", 0, L"", L"");
    host_.StartTimer(TIMER_RESTART, 1000);
}

void UpdateFlow::OnVerifyProgress(int64_t read, int64_t total) {
    DebugTrace(L"launcher: check progress " + std::to_wstring(read) + L"/" + std::to_wstring(total));
    float share = total > 0 ? static_cast<float>(read) / static_cast<float>(total) : 1;
    display_.progress = share;
    wchar_t text[64];
    std::swprintf(text, 64, L"正在校验游戏文件 %d%%", static_cast<int>(share * 100));
    SetStatus(text);
    SetTaskbarState(TaskbarState::Normal);
    SetTaskbarValue(static_cast<uint64_t>(read), static_cast<uint64_t>(total));
}

void UpdateFlow::OnResourceUpdateFinished() {
    BatchEnded();
    if (repairRequested_ && !listUrls_.empty()) {
        StartUpdate(listUrls_);  // the check the player asked for meanwhile, then the game
        return;
    }
    SetStatus(L"资源更新完成,准备启动游戏.");
    display_.progress = 1;
    SetTaskbarState(TaskbarState::None);
    host_.StartTimer(TIMER_START_GAME, 30);
}

void UpdateFlow::BatchStarted(const std::wstring& status) {
    batchRunning_ = true;
    paused_ = false;
    display_.downloading = true;
    batchStatus_ = status;
    display_.progress = 0;
    SetStatus(status);
    SetTaskbarState(TaskbarState::Normal);
    SetTaskbarValue(0, 1);
}

void UpdateFlow::BatchEnded() {
    batchRunning_ = false;
    paused_ = false;
    display_.downloading = false;
}

void UpdateFlow::Pause() {
    if (!CanPause()) return;
    paused_ = true;
    display_.downloading = false;
    host_.PauseDownload();
    ShowPaused();
}

void UpdateFlow::ShowPaused() {
    SetStatus(L"已暂停");
    // What has arrived, without a speed: nothing is arriving.
    host_.SetSpeedText(L"下载进度:" + display_.progressText);
    SetTaskbarState(TaskbarState::Paused);
    SetTaskbarValue(static_cast<uint64_t>(display_.downloaded > 0 ? display_.downloaded : 0),
                    static_cast<uint64_t>(display_.total > 0 ? display_.total : 0));
}

void UpdateFlow::Resume() {
    if (!paused_) return;
    paused_ = false;
    display_.downloading = true;
    display_.RestartSpeed();
    SetStatus(batchStatus_);
    SetTaskbarState(TaskbarState::Normal);
    host_.ResumeDownload();
}

void UpdateFlow::OnNoticeResult(const std::vector<std::wstring>& listUrls, RequestNoticeResult result,
                                const FailureCause& cause) {
    display_.progress = 0;
    if (result == NoticeOk) {
        StartUpdate(listUrls);
        return;
    }
    const wchar_t* text = L"无法完成游戏资源更新，请求失败!";
    if (result == NoticeNoAddress) text = L"无法完成游戏资源更新，未配置更新地址!";
    if (result == NoticeParseFailed) text = L"无法完成游戏资源更新，解析失败!";
    OfferRetry(text, cause);
}

void UpdateFlow::CheckDiskSpaceAndStart(uint64_t totalSize) {
    std::wstring folder = host_.GetGameFolder();
    size_t slash = folder.find(L'\\');
    std::wstring drive = slash == std::wstring::npos ? folder : folder.substr(0, slash + 1);
    for (;;) {
        uint64_t freeBytes = 0;
        if (!host_.GetDiskFreeBytes(drive, &freeBytes)) {
            AskAboutFailure(L"无法完成下载，没有成功获取磁盘大小!", 0, L"", L"");
            host_.EndLauncher();
            return;
        }
        // Writing stops where the drive would keep less than the floor free, so
        // the room needed is the download and the floor together. Nothing to
        // download needs no room.
        const uint64_t needed = totalSize == 0 ? 0 : totalSize + host_.FreeSpaceFloor();
        if (needed <= freeBytes) break;
        wchar_t text[512];
        std::swprintf(text, 512, L"%ls磁盘空间不足，无法完成此次更新，请确保释放出%ls空间后继续", drive.c_str(),
                      FormatSize(needed - freeBytes).c_str());
        // Paused until the player has made room; the button shows how much of
        // the room the update needs is free.
        SetTaskbarState(TaskbarState::Paused);
        SetTaskbarValue(freeBytes, needed);
        int32_t answer = host_.AskUser(text, 1, kRetry, kQuit);
        SetTaskbarState(TaskbarState::None);
        if (answer != 1) {
            host_.EndLauncher();
            return;
        }
    }
    // The list's worker may still be ending: it takes the batch's first
    // segments then.
    host_.StartBatches();
}
