#include "launcher/GameStart.h"

#include "afx/File.h"
#include "afx/ScopedWin.h"
#include "launcher/LaunchParameters.h"
#include "launcher/LauncherLog.h"
#include "util/FileUtils.h"
#include "util/TextEncoding.h"

const wchar_t kGameExecutable[] = L"game\\drel_game.exe";

namespace {
const wchar_t kGameWorkingFolder[] = L"game\\";
}

std::wstring BuildLoginData(LoginDataMap& login) {
    std::wstring text = L"auth_key=" + AnsiToText(login["auth_key"]) + L",uid=" +
                        AnsiToText(login["uid"]) + L",extraInfo=" + AnsiToText(login["extraInfo"]);
    return AnsiToText(Base64EncodeBytes(TextToAnsi(text)));
}

std::wstring BuildGameArguments(const std::wstring& launcherPath, const std::wstring& deviceId,
                                const std::wstring& resourceHash, const std::wstring& loginData) {
    std::wstring entrance = launcherPath;
    for (auto& ch : entrance) if (ch == L'\\') ch = L'/';
    return L"ENTRANCE=" + entrance + L" DEVICE_ID=" + deviceId + L" RESOURCE_HASH=" + resourceHash +
           L" LOGIN_DATA=" + loginData;
}

bool StartProgram(const std::wstring& exe, const std::wstring& folder, const std::wstring& args) {
    {
        CFile probe;
        if (!probe.Open(exe, CFile::kReadShared)) return false;  // keeps the open's error code
    }
    // The command line keeps the program's path unquoted, as the game expects;
    // the application name makes Windows start exactly exe, where a path with
    // blanks (D:\My Games\...) would otherwise be tried as D:\My.exe first.
    std::wstring commandLine = exe;
    if (!args.empty()) commandLine += L" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        return false;
    }
    // The launcher neither waits for the program nor controls it.
    ScopedHandle thread(pi.hThread);
    ScopedHandle process(pi.hProcess);
    return true;
}

bool OpenGameProcess(const std::wstring& gameRoot, const std::wstring& args, DWORD* error) {
    WriteLogLine(1121);
    WriteLogLine(std::wstring(L"CMainForegroundDialog::OpenGame"));
    WriteLogLine(args);
    if (StartProgram(gameRoot + kGameExecutable, gameRoot + kGameWorkingFolder, args)) return true;
    *error = ::GetLastError();
    return false;
}

bool ResolveEntrance(const std::wstring& value, std::wstring* exe, std::wstring* folder) {
    std::wstring path = value;
    for (auto& ch : path) if (ch == L'/') ch = L'\\';
    // A value without any folder cannot name the entrance program: treated
    // like a missing parameter so the launcher reports it and ends.
    if (!GetParentFolder(path, folder)) return false;
    *exe = path;
    return true;
}

bool StartEntranceForRestart() {
    std::wstring value, exe, folder;
    if (!GetLaunchParameter(L"ENTRANCE", &value)) return false;
    if (!ResolveEntrance(value, &exe, &folder)) return false;
    return StartProgram(exe, folder, L"LAUNCHER_REBOOT=TRUE");
}
