#include "util/InstallPaths.h"

#include <psapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "util/FileUtils.h"
#include "util/TextEncoding.h"

const wchar_t kGameRootRecordName[] = L"game_root.txt";

namespace {

const wchar_t kDataSubFolder[] = L"\\DREL_PC\\";
const wchar_t kGameSubFolder[] = L"DREL\\";
const wchar_t kProductFolder[] = L"Talmo";

std::wstring WithoutTrailingBackslash(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// The drive a folder lies on, as its volume root ("D:\"); Windows answers
// DRIVE_NO_ROOT_DIR when asked about a folder below a root.
UINT DriveTypeOfFolder(const std::wstring& folder) {
    wchar_t root[MAX_PATH] = {};
    if (!::GetVolumePathNameW(folder.c_str(), root, MAX_PATH)) return DRIVE_UNKNOWN;
    return ::GetDriveTypeW(root);
}

}  // namespace

std::wstring GetModulePath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring GetModuleFolder() {
    std::wstring path = GetModulePath();
    size_t pos = path.rfind(L'\\');
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

std::wstring GetProcessImagePath(HANDLE process) {
    wchar_t path[MAX_PATH] = {};
    if (!::GetModuleFileNameExW(process, nullptr, path, MAX_PATH)) return std::wstring();
    return path;
}

std::wstring GetDataFolder() {
    wchar_t appData[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    std::wstring candidate = std::wstring(appData) + kDataSubFolder + kProductFolder + L"\\";
    if (IsFolderWritable(candidate)) return candidate;
    std::wstring drive;
    if (ChooseFreestFixedDrive(&drive)) {
        return WithoutTrailingBackslash(drive) + kDataSubFolder + kProductFolder + L"\\";
    }
    return candidate;
}

std::wstring GetGameRootFolder() {
    std::wstring record = GetDataFolder() + kGameRootRecordName;
    std::string stored;
    if (ReadFileBytes(record, &stored)) {
        std::wstring folder = AnsiToText(stored);
        if (!folder.empty() && ::PathIsDirectoryW(folder.c_str()) &&
            DriveTypeOfFolder(folder) == DRIVE_FIXED) {
            return folder;
        }
    }
    std::wstring base;
    if (!ChooseFreestFixedDrive(&base)) base = GetDataFolder();
    std::wstring root = base + kGameSubFolder + kProductFolder + L"\\";
    WriteFileBytes(record, TextToAnsi(root));
    return root;
}
