#pragma once
// Where the launcher and the game live. Folders always end in a backslash.
#include <windows.h>
#include <string>

std::wstring GetModulePath();
// Folder of the running executable, with its backslash (empty without one).
std::wstring GetModuleFolder();
// Executable path of an opened process (empty when the platform refuses).
std::wstring GetProcessImagePath(HANDLE process);

// Per-user data folder (log, working copy, game_root.txt): APPDATA\DREL_PC\Talmo\,
// or X:\DREL_PC\Talmo\ on the freest writable fixed drive when APPDATA cannot be written.
std::wstring GetDataFolder();
// The game's install folder, remembered in game_root.txt in the data folder:
// kept while it exists on a fixed drive, otherwise chosen anew as
// X:\DREL\Talmo\ on the freest writable fixed drive and written back.
std::wstring GetGameRootFolder();

// The fixed path pieces, for the callers that build the same folders.
extern const wchar_t kGameRootRecordName[];  // "game_root.txt"
