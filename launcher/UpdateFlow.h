#pragma once
// The update flow of the main foreground window, kept free of window code:
// the game watch, the notice request's outcome, every report's text and
// reaction, the disk-space check, the batches, and the endings. It runs on
// the user-interface thread, driven by the window's timers and by the reports
// the window's task queue runs there. Workers only report: every next step
// (the comparison, each batch) is started from here.
#include <cstdint>
#include <string>
#include <vector>

#include "launcher/NoticeAnswer.h"
#include "launcher/ProgressDisplay.h"
#include "ui/TaskbarProgress.h"
#include "update/ResourceManagerProgress.h"

enum UpdateFlowTimer : uint32_t {
    TIMER_PROGRESS_BAR = 50000,  // 50 ms: show the fraction on the bar
    TIMER_GAME_WATCH = 50001,    // 500 ms: wait for the game to end
    TIMER_START_GAME = 50002,    // 30 ms, once
    TIMER_RESTART = 50003,       // 1000 ms, once
    TIMER_SPEED_TEXT = 50005,    // 1000 ms: tip and speed line
};

// What the flow needs from its window and from the rest of the launcher.
class UpdateFlowHost {
public:
    virtual ~UpdateFlowHost() = default;
    virtual void SetStatusText(const std::wstring& text) = 0;  // control 1012, redrawn
    virtual void SetSpeedText(const std::wstring& text) = 0;   // control 1006, redrawn
    virtual void ShowBarFraction(float fraction) = 0;          // control 1004, redrawn
    // The skinned message box: style 1 two buttons, style 0 the first alone;
    // 1 for the first button, 7 for the second.
    virtual int32_t AskUser(const std::wstring& text, int32_t style, const std::wstring& first,
                            const std::wstring& second) = 0;
    virtual void StartTimer(uint32_t id, uint32_t ms) = 0;
    virtual void StopTimer(uint32_t id) = 0;
    virtual void EndLauncher() = 0;  // at once, exit code 0
    virtual void StartGame() = 0;
    virtual void RestartLauncher() = 0;

    virtual std::wstring GetGameFolder() = 0;
    virtual bool IsGameRunning(const std::wstring& gamePath) = 0;
    virtual void SendNoticeRequest() = 0;
    // Initialises the manager with both roots and the CDN hosts' list URLs
    // (the primary first): the list is fetched (OnCdnCompareFinished or
    // OnCdnCompareFailed).
    virtual void InitializeResources(const std::wstring& launcherFolder, const std::wstring& gameFolder,
                                     const std::vector<std::wstring>& listUrls) = 0;
    // Compares the lists off this thread (OnDownloadTotalSize); with repair,
    // installed files are checked against their MD5 first.
    virtual void StartComparison(bool repair) = 0;
    // Starts the launcher batch when launcher files changed, else the
    // game-resource batch (or reports that everything is current).
    virtual void StartBatches() = 0;
    // The running batch stands still (DownloadPaused follows) and goes on.
    virtual void PauseDownload() = 0;
    virtual void ResumeDownload() = 0;
    virtual bool GetDiskFreeBytes(const std::wstring& root, uint64_t* freeBytes) = 0;
    // The free space writing keeps on the drive (the downloads' floor).
    virtual uint64_t FreeSpaceFloor() = 0;
};

class UpdateFlow : public UpdateReports {
public:
    explicit UpdateFlow(UpdateFlowHost& host) : host_(host) {}

    // After the window is initialised: texts, timers, tips and the game watch.
    void Start();
    void HandleTimer(uint32_t id);
    // The resource update's reports (UpdateReports).
    void OnLocalCheckStarted() override;
    void OnLocalCheckFinished() override;
    void OnCdnCompareStarted() override;
    void OnCdnCompareFinished() override;
    void OnDownloadTotalSize(int64_t totalSize) override;
    void OnCdnCompareFailed(bool listUnverified, const FailureCause& cause) override;
    void OnResourceDownloadStarted() override;
    void OnResourceDownloadFailed(const FailureCause& cause) override;
    void OnLauncherDownloadStarted() override;
    void OnLauncherDownloadFailed(const FailureCause& cause) override;
    void OnDownloadProgress(int64_t downloaded, int64_t total) override;
    void OnLauncherUpdateFinished() override;
    void OnResourceUpdateFinished() override;
    void OnVerifyProgress(int64_t read, int64_t total) override;
    void OnDownloadPaused() override;
    // cause: why a failed request failed; the box says it under its text.
    void OnNoticeResult(const std::vector<std::wstring>& listUrls, RequestNoticeResult result,
                        const FailureCause& cause = FailureCause());
    void StartNoticeRequest();
    void StartUpdate(const std::vector<std::wstring>& listUrls);
    void CheckDiskSpaceAndStart(uint64_t totalSize);
    // The player asked to check and repair the game files (the window's menu, or
    // REPAIR=TRUE). The next run of the update reads every installed file first;
    // asked while a run is under way, the check follows once it has ended, before
    // the game starts.
    void RequestRepair();
    // The player pauses the download under way: the status line says so, the
    // bar stays where it is, the taskbar button shows the pause and the speed
    // line no speed. Nothing fails and nothing is deleted; Resume goes on from
    // what was kept. Either does nothing when it does not apply.
    void Pause();
    void Resume();
    bool CanPause() const { return batchRunning_ && !paused_; }
    bool IsPaused() const { return paused_; }

    // The taskbar button that follows the downloads (not owned; null: none).
    void SetTaskbar(TaskbarProgress* taskbar) { taskbar_ = taskbar; }
    // A box about a failure: the taskbar button shows the error while it is open.
    int32_t AskAboutFailure(const std::wstring& text, int32_t style, const std::wstring& first,
                            const std::wstring& second);

private:
    // A failed step: a full bar, then OfferRetry.
    void ShowFailure(const std::wstring& text, const FailureCause& cause);
    // The text on the status line and in a box with "重试" (a new run from the
    // notice request) and "退出" (the end); the box says the cause, when known,
    // on a line of its own under the text.
    void OfferRetry(const std::wstring& text, const FailureCause& cause = FailureCause());
    void SetStatus(const std::wstring& text) { host_.SetStatusText(text); }
    void SetTaskbarState(TaskbarState state);
    void SetTaskbarValue(uint64_t done, uint64_t total);
    // A batch starts with its status text; one ends, whichever way.
    void BatchStarted(const std::wstring& status);
    void BatchEnded();
    void ShowPaused();

    UpdateFlowHost& host_;
    bool noticePending_ = true;
    bool repairRequested_ = false;
    bool repairThisRun_ = false;  // the comparison of the run under way checks the installed files
    std::vector<std::wstring> listUrls_;  // of the last run, for a repair that follows it
    bool batchRunning_ = false;  // a launcher or game-resource batch is under way
    bool paused_ = false;        // ... and the player paused it
    std::wstring batchStatus_;   // the status line of that batch, back on resume
    ProgressDisplay display_;
    TaskbarProgress* taskbar_ = nullptr;
};
