#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "afx/ScopedWin.h"
#include "launcher/GameStart.h"
#include "launcher/LauncherApp.h"
#include "launcher/LauncherLog.h"
#include "launcher/ProcessWatch.h"
#include "support/ChildProcess.h"
#include "support/TestEnv.h"
#include "util/FileUtils.h"
#include "util/InstallPaths.h"

namespace {

const char kShown[] = "launcher: showing the window";
const char kOtherInstance[] = "launcher: another instance runs";
const char kGameRuns[] = "launcher: the game runs";

std::wstring LauncherExe() { return TestBinFolder() + L"talmodrel.exe"; }
std::wstring StubGameExe() { return TestBinFolder() + L"drel_game.exe"; }
std::wstring WorkingCopy() { return GetDataFolder() + kWorkingCopyName; }

// Runs the launcher until it has made its start-up decision, then ends it.
std::string RunLauncherDecision(const std::wstring& args = L"") {
    ChildProcess launcher;
    EXPECT_TRUE(launcher.Start(L"\"" + LauncherExe() + L"\"" + args));
    bool decided = launcher.WaitForOutput("launcher: ", 60000);
    EXPECT_TRUE(decided) << launcher.Output();
    // A launcher that shows its window keeps running; one that does not ends by itself.
    if (launcher.Output().find(kShown) == std::string::npos) {
        EXPECT_TRUE(launcher.WaitForExit(10000));
    }
    return launcher.Output();
}

// A stub game process that stays alive while the test looks at it.
class RunningStub {
public:
    explicit RunningStub(const std::wstring& exePath) {
        started_ = stub_.Start(L"\"" + exePath + L"\"", L"DREL_STUB_SLEEP_MS=60000\nDREL_STUB_RECORD=C:\\drel-test\\stub.txt");
        // Seen as running once its image path can be read.
        for (int i = 0; started_ && i < 200 && !IsProcessRunning(exePath); ++i) ::Sleep(25);
    }
    bool Started() const { return started_; }
private:
    ChildProcess stub_;
    bool started_;
};

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    ReadFileBytes(path, &bytes);
    return bytes;
}

}  // namespace

TEST(Startup, DecisionTable) {
    const struct { bool other, reboot, game, show; } cases[] = {
        {false, false, false, true}, {false, false, true, false}, {false, true, true, true},
        {true, false, false, false}, {true, true, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.show, ShouldShowLauncher(c.other, c.reboot, c.game))
            << c.other << c.reboot << c.game;
    }
}

TEST(Startup, ProcessCheckIgnoresLetterCase) {
    std::wstring exe = FreshTestFolder(L"startup-case") + L"stubgame.exe";
    ASSERT_TRUE(::CopyFileW(StubGameExe().c_str(), exe.c_str(), FALSE));
    RunningStub stub(exe);
    ASSERT_TRUE(stub.Started());
    std::wstring upper = exe;
    for (auto& ch : upper) ch = towupper(ch);
    EXPECT_TRUE(IsProcessRunning(upper));
    EXPECT_FALSE(IsProcessRunning(exe + L".other"));
}

TEST(Startup, SecondInstanceEndsSilently) {
    // This test process plays the running launcher by holding the named mutex.
    ScopedHandle mutex(::CreateMutexW(nullptr, FALSE, kSingleInstanceMutexName));
    ASSERT_TRUE(mutex);
    std::string out = RunLauncherDecision();
    EXPECT_NE(std::string::npos, out.find(kOtherInstance)) << out;
    EXPECT_EQ(std::string::npos, out.find(kShown)) << out;
}

TEST(Startup, RefreshesWorkingCopyAndShortcutAndDeletesTheLog) {
    ASSERT_TRUE(WriteFileBytes(WorkingCopy(), "an old launcher"));
    WriteLogLine(std::string("from an earlier run"));
    ASSERT_TRUE(::PathFileExistsW(GetLogFilePath().c_str()));

    std::string out = RunLauncherDecision();
    EXPECT_NE(std::string::npos, out.find(kShown)) << out;

    EXPECT_EQ(FileBytes(LauncherExe()), FileBytes(WorkingCopy()));
    EXPECT_FALSE(::PathFileExistsW(GetLogFilePath().c_str()));

    wchar_t desktop[MAX_PATH] = {};
    ASSERT_EQ(S_OK, ::SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, 0, desktop));
    std::wstring linkPath = std::wstring(desktop) + L"\\" + kDesktopShortcutName;
    ScopedComInit com;
    ScopedComPtr<IShellLinkW> link;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                       link.ReceiveVoid()));
    ScopedComPtr<IPersistFile> file;
    ASSERT_EQ(S_OK, link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()));
    ASSERT_EQ(S_OK, file->Load(linkPath.c_str(), STGM_READ));
    wchar_t target[MAX_PATH] = {}, args[MAX_PATH] = {}, folder[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, 0);
    link->GetArguments(args, MAX_PATH);
    link->GetWorkingDirectory(folder, MAX_PATH);
    EXPECT_EQ(0, _wcsicmp(WorkingCopy().c_str(), target)) << target;
    EXPECT_STREQ(L"", args);
    EXPECT_STREQ(L"", folder);
}

TEST(Startup, WorkingCopyInUseIsLeftAlone) {
    // Something runs from the working copy's path (as when started from the shortcut).
    DeleteExistingFile(WorkingCopy());
    ASSERT_TRUE(::CopyFileW(StubGameExe().c_str(), WorkingCopy().c_str(), FALSE));
    std::string before = FileBytes(WorkingCopy());
    {
        RunningStub copyInUse(WorkingCopy());
        ASSERT_TRUE(copyInUse.Started());
        RunLauncherDecision();
        EXPECT_EQ(before, FileBytes(WorkingCopy()));
    }
    DeleteExistingFile(WorkingCopy());
}

TEST(Startup, RunningGameHidesTheLauncherUnlessRestarted) {
    std::wstring game = GetGameRootFolder() + kGameExecutable;
    std::wstring gameFolder;
    ASSERT_TRUE(GetParentFolder(game, &gameFolder));
    CreateFolderPath(gameFolder);
    ASSERT_TRUE(::CopyFileW(StubGameExe().c_str(), game.c_str(), FALSE));
    {
        RunningStub running(game);
        ASSERT_TRUE(running.Started());
        std::string hidden = RunLauncherDecision();
        EXPECT_NE(std::string::npos, hidden.find(kGameRuns)) << hidden;
        std::string restarted = RunLauncherDecision(L" LAUNCHER_REBOOT=true");
        EXPECT_NE(std::string::npos, restarted.find(kShown)) << restarted;
    }
    std::string notRunning = RunLauncherDecision();
    EXPECT_NE(std::string::npos, notRunning.find(kShown)) << notRunning;
    DeleteExistingFile(game);
}
