#pragma once
// The main foreground window's base: the controls every update shows (the
// bar, the speed line, the status line), the backdrop it is given by the
// background window, dragging, and the update flow it hosts. The flow itself
// is UpdateFlow; this class is its window and its link to the rest of the
// launcher.
#include <windows.h>
#include <gdiplus.h>
#include <memory>

#include "launcher/NoticeRequest.h"
#include "launcher/UiTaskQueue.h"
#include "launcher/UpdateFlow.h"
#include "ui/DialogBase.h"
#include "ui/DragTracker.h"
#include "ui/SkinControls.h"

class CResourceManager;

class CMainForegroundDialog : public CDialogBase, public UpdateFlowHost, public ISkinBackdropHost {
public:
    // The manager must outlive the window.
    CMainForegroundDialog(UINT templateId, CWnd* parent, CResourceManager& resources);
    ~CMainForegroundDialog() override;

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Called from any thread: the task waits in the queue and the window is
    // woken with WM_UPDATE_PROGRESS to run it on its own thread.
    void PostToWindow(UiTaskQueue::Task task, int32_t mergeKey = 0);
    // One report of the resource update, run on the flow; its step is traced
    // ("launcher: state N") unless it is a counter.
    void PostReport(ResourceManagerProgressState state, UpdateReport report);
    // The notice request's outcome, on its worker thread.
    void PostNoticeResult(const std::vector<std::wstring>& listUrls, RequestNoticeResult result,
                          const FailureCause& cause);
    // The backdrop cropped from the background's picture (may be null).
    void SetBackgroundImage(std::unique_ptr<Gdiplus::Image> image);

    UpdateFlow& Flow() { return flow_; }

    // UpdateFlowHost
    void SetStatusText(const std::wstring& text) override;
    void SetSpeedText(const std::wstring& text) override;
    void ShowBarFraction(float fraction) override;
    int32_t AskUser(const std::wstring& text, int32_t style, const std::wstring& first,
                    const std::wstring& second) override;
    void StartTimer(uint32_t id, uint32_t ms) override;
    void StopTimer(uint32_t id) override;
    void EndLauncher() override;
    void StartGame() override {}
    void RestartLauncher() override;
    std::wstring GetGameFolder() override;
    bool IsGameRunning(const std::wstring& gamePath) override;
    void SendNoticeRequest() override;
    void InitializeResources(const std::wstring& launcherFolder, const std::wstring& gameFolder,
                             const std::vector<std::wstring>& listUrls) override;
    void StartComparison(bool repair) override;
    void StartBatches() override;
    void PauseDownload() override;
    void ResumeDownload() override;
    bool GetDiskFreeBytes(const std::wstring& root, uint64_t* freeBytes) override;
    uint64_t FreeSpaceFloor() override;

    // ISkinBackdropHost: the controls paint the backdrop under themselves first.
    bool PaintBackdropUnder(HWND child, HDC dc) override;

protected:
    void HandleTimer(UINT_PTR id);
    void OnSizeChanged();
    virtual void LayoutControls();
    virtual void LoadBackgroundImage();
    void DoDataExchange(CDataExchange* dx) override;
    void RunPostedTasks();
    void OnPaint();
    // The right-click menu (screen coordinates): "check and repair the game
    // files", pause or resume while a download runs, and the speed limit.
    void ShowContextMenu(int x, int y);
    // The player's choice of limit (MB/s, 0: none): applied at once and saved.
    void ChooseSpeedLimit(uint32_t mb);

    CCustomProgress progressBar;  // 1004
    CCustomLabel speedLabel;      // 1006
    CCustomLabel statusLabel;     // 1012
    std::unique_ptr<Gdiplus::Image> backgroundImage;
    int backgroundWidth = 0;
    int backgroundHeight = 0;
    DragTracker drag;  // moves the owner dialog's group
    CResourceManager& resources;

private:
    UpdateFlow flow_{*this};
    TKNoticeRequest noticeRequest;
    UiTaskQueue tasks_;
    uint32_t speedLimitMb_ = 0;
};
