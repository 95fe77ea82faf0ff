#pragma once
// The launcher's application object: start-up, single instance, working copy,
// desktop shortcut, fresh log and the decision whether to show the window.
#include <string>

#include "afx/ScopedWin.h"
#include "afx/WinApp.h"
#include "update/CDNResourceDownloader.h"
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

// Takes shortened engine pauses from DREL_TEST_RETRY_PAUSE_MS and
// DREL_TEST_SEGMENT_PAUSE_MS when the tests set them.
void ApplyTestTimings();

// Owns the resource update's downloader and manager for the life of the
// process and hands the manager to the window that drives it.
class CNewTalmoLauncherApp : public CWinApp {
public:
    bool InitInstance() override;

    // Set up before the window exists (the list-signing keys).
    CCDNResourceDownloader& Downloader() { return downloader_; }

protected:
    // Runs the launcher's window group modally; the window toolkit provides it.
    virtual void RunLauncherWindow();

    ScopedHandle instanceMutex_;  // tells later launchers that this one runs
    // Destroyed before the downloader it drives.
    CCDNResourceDownloader downloader_;
    CResourceManager resources_{downloader_};
};
