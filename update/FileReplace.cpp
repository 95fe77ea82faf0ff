#include "update/FileReplace.h"

#include <windows.h>
#include <shlwapi.h>

#include "afx/File.h"
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
    ::DeleteFileW(temporary.c_str());
    return false;
}
