#include "update/FileReplace.h"

#include <windows.h>
#include <shlwapi.h>

#include "afx/File.h"
#include "afx/ScopedWin.h"
#include "util/FileUtils.h"

bool ReplaceFileBytes(const std::wstring& path, const std::string& bytes) {
    if (path.empty()) return false;
    std::wstring folder;
    if (GetParentFolder(path, &folder) && !folder.empty() && !::PathIsDirectoryW(folder.c_str())) {
        CreateFolderPath(folder);
    }
    std::wstring temporary = path + L".new";
    bool written = false;
    {
        CFile file;
        if (file.Open(temporary, CFile::kCreateWrite)) {
            written = file.Write(bytes.data(), static_cast<uint32_t>(bytes.size())) && file.Flush();
        }
    }
    if (written && ::MoveFileExW(temporary.c_str(), path.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    const DWORD error = written ? WhyNotReplaced(path, ::GetLastError()) : ::GetLastError();
    ::DeleteFileW(temporary.c_str());
    ::SetLastError(error);
    return false;
}

DWORD WhyNotReplaced(const std::wstring& target, DWORD error) {
    if (error != ERROR_ACCESS_DENIED) return error;
    ScopedFileHandle probe(::CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (probe.IsValid()) return error;
    return ::GetLastError() == ERROR_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : error;
}
