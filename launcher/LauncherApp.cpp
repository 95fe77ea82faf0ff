#include "launcher/LauncherApp.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "afx/File.h"
#include "download/DownloadTimings.h"
#include "update/UpdateTimings.h"
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
    ApplyTestSeams(resources_.Downloader());
    CFlashDialog root(resources_);
    m_pMainWnd = &root;
    root.DoModal();
    m_pMainWnd = nullptr;
}

void ApplyTestSeams(CCDNResourceDownloader& downloader) {
    wchar_t value[32] = {};
    auto set = [&value](const wchar_t* name, DWORD* to) {
        if (::GetEnvironmentVariableW(name, value, 32)) *to = wcstoul(value, nullptr, 10);
    };
    DownloadTimings timings = GetDownloadTimings();
    set(L"DREL_TEST_RETRY_PAUSE_MS", &timings.retryPauseMs);
    set(L"DREL_TEST_SEGMENT_PAUSE_MS", &timings.segmentPauseMs);
    OverrideDownloadTimingsForTesting(timings);
    UpdateTimings update = GetUpdateTimings();
    set(L"DREL_TEST_INDEX_LIMIT_MS", &update.contentIndexLimitMs);
    set(L"DREL_TEST_CHECK_PROGRESS_AFTER_MS", &update.checkProgressAfterMs);
    OverrideUpdateTimingsForTesting(update);
    DWORD freeMb = 0;
    set(L"DREL_TEST_DISK_FREE_MB", &freeMb);
    if (freeMb != 0) {
        // A drive with this much free that the launcher's writes fill: the
        // guard asks again only once it has used what the last answer allowed,
        // so every later answer is the floor. Other programs' writes and
        // deletes on the real drive cannot change the outcome.
        auto left = std::make_shared<uint64_t>(static_cast<uint64_t>(freeMb) << 20);
        const uint64_t floor = downloader.freeSpaceFloor;
        downloader.freeSpaceQuery = [left, floor](const std::wstring&, uint64_t* freeBytes) {
            *freeBytes = *left;
            *left = std::min(*left, floor);
            return true;
        };
    }
}
