#include "util/SystemHelpers.h"

#include <shellapi.h>
#include <cstring>

#include "afx/ScopedWin.h"
#include "util/TextEncoding.h"

LONG ReadClassesRootValue(const wchar_t* keyPath, wchar_t* buffer) {
    HKEY raw = nullptr;
    LONG result = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath, 0, KEY_QUERY_VALUE, &raw);
    if (result != ERROR_SUCCESS) return result;
    ScopedRegKey key(raw);
    wchar_t value[MAX_PATH / sizeof(wchar_t) + 1] = {};
    DWORD size = MAX_PATH;  // bytes
    DWORD type = 0;
    result = ::RegQueryValueExW(key.Get(), nullptr, nullptr, &type,
                                reinterpret_cast<BYTE*>(value), &size);
    if (result != ERROR_SUCCESS) return result;
    value[size / sizeof(wchar_t) < MAX_PATH / sizeof(wchar_t) ? size / sizeof(wchar_t)
                                                              : MAX_PATH / sizeof(wchar_t)] = 0;
    std::wcscpy(buffer, value);
    return ERROR_SUCCESS;
}

std::wstring BuildBrowserCommand(const std::wstring& command, const std::wstring& url) {
    std::wstring cut = command;
    size_t quoted = cut.find(L"\"%1\"");
    if (quoted != std::wstring::npos) {
        cut.erase(quoted);
    } else {
        size_t bare = cut.find(L"%1");
        if (bare != std::wstring::npos) cut.erase(bare);
    }
    return cut + L" " + url;
}

bool OpenUrlInBrowser(const std::wstring& url) {
    HINSTANCE shell = ::ShellExecuteW(nullptr, L"open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(shell) > 32) return true;

    wchar_t buffer[520] = {};
    if (ReadClassesRootValue(L".htm", buffer) != ERROR_SUCCESS) return false;
    std::wstring key = std::wstring(buffer) + L"\\shell\\open\\command";
    std::memset(buffer, 0, sizeof(buffer));
    if (ReadClassesRootValue(key.c_str(), buffer) != ERROR_SUCCESS) return false;
    std::string command = TextToAnsi(BuildBrowserCommand(buffer, url));
    return ::WinExec(command.c_str(), SW_SHOW) > 32;
}

void TerminateSelf() {
    ::TerminateProcess(::GetCurrentProcess(), 0);
    for (;;) ::Sleep(INFINITE);  // not reached: the process is gone
}
