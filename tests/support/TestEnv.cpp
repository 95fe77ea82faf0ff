#include "support/TestEnv.h"

#include <windows.h>
#include <shlwapi.h>

#include "util/FileUtils.h"
#include "util/TextEncoding.h"

std::wstring TestEnv(const wchar_t* name) {
    wchar_t buffer[4096] = {};
    DWORD n = ::GetEnvironmentVariableW(name, buffer, 4096);
    return n > 0 && n < 4096 ? buffer : L"";
}

std::wstring TestBinFolder() { return L"C:\\drel-bin\\"; }

std::wstring NginxBaseUrl() {
    // BUILD_DIR/nginx/url, reached through the bin link (bin's parent is the build folder
    // but only bin is linked), so the start script also copies it into C:\cdn.
    std::string bytes;
    if (!ReadFileBytes(L"C:\\cdn\\.base-url", &bytes)) return L"";
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    return AnsiToText(bytes);
}

std::wstring NginxRootFolder() { return L"C:\\cdn\\"; }

void RemoveTree(const std::wstring& folder) {
    std::wstring base = folder;
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((base + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = base + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(base.c_str());
}

std::wstring FreshTestFolder(const std::wstring& name) {
    std::wstring folder = L"C:\\drel-test\\" + name + L"\\";
    RemoveTree(folder);
    CreateFolderPath(folder);
    return folder;
}
