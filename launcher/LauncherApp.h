#pragma once
// The launcher's application object: start-up, single instance, working copy,
// desktop shortcut, fresh log and the decision whether to show the window.
#include <string>

#include "afx/ScopedWin.h"
#include "afx/WinApp.h"
#include "update/ResourceManager.h"

extern const wchar_t kSingleInstanceMutexName[];
extern const wchar_t kWorkingCopyName[];      // "talmodrel.exe"
extern const wchar_t kDesktopShortcutName[];  // "霁澜舰影手游模拟器.lnk"

// The window is shown when no other launcher runs and either this is a restart
// after a self-update or the game is not running.
bool ShouldShowLauncher(bool anotherInstanceRuns, bool rebootRequested, bool gameRunning);
// Replaces the working copy in the data folder by the running executable,
// unless a process runs from the copy.
void RefreshWorkingCopy(const std::wstring& copyPath);

// What the end-to-end tests change through the environment, when they set it:
// the engine's pauses (DREL_TEST_RETRY_PAUSE_MS, DREL_TEST_SEGMENT_PAUSE_MS),
// the content index's limit (DREL_TEST_INDEX_LIMIT_MS), the delay before a
// long check shows (DREL_TEST_CHECK_PROGRESS_AFTER_MS) and the drive's floor
// (DREL_TEST_DISK_FLOOR_MB, into the downloader). Unset, the product's stay.
void ApplyTestSeams(CCDNResourceDownloader& downloader);

// Owns the resource update's downloader and manager for the life of the
// process and hands the manager to the window that drives it.
class CNewTalmoLauncherApp : public CWinApp {
public:
    bool InitInstance() override;

    // Set up before the window exists (the list-signing keys).
    CCDNResourceDownloader& Downloader() { return resources_.Downloader(); }

protected:
    // Runs the launcher's window group modally; the window toolkit provides it.
    void RunLauncherWindow();

    ScopedHandle instanceMutex_;  // tells later launchers that this one runs
    // The resource update: its manager, its thread and its downloader.
    CResourceManager resources_;
};
