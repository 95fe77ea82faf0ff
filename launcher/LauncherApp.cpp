#include "launcher/LauncherApp.h"

#include <windows.h>
#include <commctrl.h>

#include "afx/File.h"
#include "download/DownloadTimings.h"
#include "launcher/DesktopShortcut.h"
#include "launcher/FlashDialog.h"
#include "launcher/GameStart.h"
#include "launcher/LaunchParameters.h"
#include "launcher/LauncherLog.h"
#include "launcher/ProcessWatch.h"
#include "util/DebugTrace.h"
#include "util/InstallPaths.h"

const wchar_t kSingleInstanceMutexName[] = L"com.halvek.drel.pc.talmotalmoQXGameMutex";
const wchar_t kWorkingCopyName[] = L"talmodrel.exe";
const wchar_t kDesktopShortcutName[] = L"霁澜舰影手游模拟器.lnk";

namespace {

// Opens the file for reading only if it exists, then deletes it.
void DeleteIfOpenable(const std::wstring& path) {
    CFile file;
    if (!file.Open(path, CFile::kReadShared)) return;
    file.Close();
    ::DeleteFileW(path.c_str());
}
}  // namespace

bool ShouldShowLauncher(bool anotherInstanceRuns, bool rebootRequested, bool gameRunning) {
    return !anotherInstanceRuns && (rebootRequested || !gameRunning);
}

void RefreshWorkingCopy(const std::wstring& copyPath) {
    if (IsProcessRunning(copyPath)) return;
    DeleteIfOpenable(copyPath);
    ::CopyFileW(GetModulePath().c_str(), copyPath.c_str(), TRUE);
}

bool CNewTalmoLauncherApp::InitInstance() {
    INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    // The mutex is never owned; holding its handle for the life of the process
    // is what tells later launchers that this one runs.
    instanceMutex_.Reset(::CreateMutexW(nullptr, FALSE, kSingleInstanceMutexName));
    bool anotherInstance = ::GetLastError() == ERROR_ALREADY_EXISTS;
    if (anotherInstance) instanceMutex_.Reset();

    std::wstring dataFolder = GetDataFolder();
    std::wstring copyPath = dataFolder + kWorkingCopyName;
    RefreshWorkingCopy(copyPath);
    CreateDesktopShortcut(copyPath, kDesktopShortcutName);

    std::wstring gamePath = GetGameRootFolder() + kGameExecutable;
    DeleteIfOpenable(GetLogFilePath());

    bool reboot = IsRebootRequested();
    bool gameRunning = IsProcessRunning(gamePath);
    if (ShouldShowLauncher(anotherInstance, reboot, gameRunning)) {
        DebugTrace(L"launcher: showing the window");
        RunLauncherWindow();
    } else {
        DebugTrace(anotherInstance ? L"launcher: another instance runs" : L"launcher: the game runs");
    }
    return false;
}

void CNewTalmoLauncherApp::RunLauncherWindow() {
    ApplyTestTimings();
    CFlashDialog root(resources_);
    m_pMainWnd = &root;
    root.DoModal();
    m_pMainWnd = nullptr;
}

void ApplyTestTimings() {
    // The end-to-end tests shorten the engine's pauses (5 s between attempts,
    // 100 ms before each segment) through the environment; unset, the product
    // values stay.
    DownloadTimings timings = GetDownloadTimings();
    wchar_t value[32] = {};
    if (::GetEnvironmentVariableW(L"DREL_TEST_RETRY_PAUSE_MS", value, 32)) timings.retryPauseMs = wcstoul(value, nullptr, 10);
    if (::GetEnvironmentVariableW(L"DREL_TEST_SEGMENT_PAUSE_MS", value, 32)) timings.segmentPauseMs = wcstoul(value, nullptr, 10);
    OverrideDownloadTimingsForTesting(timings);
}
