#pragma once
// The two ways a run ends: starting the game with its argument line, or
// starting the entrance program to bring up an updated launcher.
#include <windows.h>
#include <map>
#include <string>

// Login values by key; looking a key up inserts it empty, as the launcher
// itself never fills them.
using LoginDataMap = std::map<std::string, std::string>;

// Base64 of "auth_key=%s,uid=%s,extraInfo=%s" in the thread ANSI code page.
std::wstring BuildLoginData(LoginDataMap& login);
// "ENTRANCE=%s DEVICE_ID=%s RESOURCE_HASH=%s LOGIN_DATA=%s"; the entrance is
// the launcher's path with "/" for "\".
std::wstring BuildGameArguments(const std::wstring& launcherPath, const std::wstring& deviceId,
                                const std::wstring& resourceHash, const std::wstring& loginData);

// Starts exe in folder; its command line is exe (unquoted), then a blank and
// args when there are any.
// False when exe cannot be opened or the process not created; GetLastError tells why.
bool StartProgram(const std::wstring& exe, const std::wstring& folder, const std::wstring& args);

// The game, below the game root; it runs in the root's "game\" folder.
extern const wchar_t kGameExecutable[];  // "game\drel_game.exe"

// Logs the three game-start lines and starts "<root>game\drel_game.exe" in
// "<root>game\". False (with the system error code in *error) when it could not start.
bool OpenGameProcess(const std::wstring& gameRoot, const std::wstring& args, DWORD* error);

// The entrance program named by the ENTRANCE parameter, with "\" for "/",
// and its folder. False when the parameter is missing or holds no folder.
bool ResolveEntrance(const std::wstring& value, std::wstring* exe, std::wstring* folder);
// Starts the entrance with "LAUNCHER_REBOOT=TRUE"; false when ENTRANCE is
// missing, unusable or the program cannot be started.
bool StartEntranceForRestart();
