#include "update/CDNResourceDataProcessor.h"

#include <shlwapi.h>

#include "download/FileUtils.h"
#include "update/GunzipFile.h"
#include "update/ResourcePath.h"
#include "util/TextEncoding.h"

bool CDNResourceDataProcessor::GetTargetPath(std::wstring* path) const {
    return ResourcePathUnder(rootFolder, info.name, path);
}

bool CDNResourceDataProcessor::GetTemporaryPath(std::wstring* path) const {
    if (!GetTargetPath(path)) return false;
    *path += L".t";
    return true;
}

bool CDNResourceDataProcessor::Begin(uint32_t contentLength) {
    written = 0;
    if (file.IsOpen()) return false;
    std::wstring target, temporary, folder;
    if (!GetTargetPath(&target) || !GetTemporaryPath(&temporary)) return false;
    if (!GetParentFolder(temporary, &folder)) return false;
    if (!::PathIsDirectoryW(folder.c_str())) CreateFolderPath(folder);
    DeleteExistingFile(temporary);
    DeleteExistingFile(target);
    if (!file.Open(temporary, CFile::kCreateWrite)) return false;
    return file.Seek(0, FILE_BEGIN);
}

bool CDNResourceDataProcessor::Write(const void* data, uint32_t count) {
    if (!file.Write(data, count)) return false;
    written += static_cast<int32_t>(count);
    if (written > maxWritten) {
        int64_t delta = static_cast<int64_t>(written) - maxWritten;
        maxWritten = written;
        if (onProgress) onProgress(delta);
    }
    return true;
}

bool CDNResourceDataProcessor::End() {
    if (!file.IsOpen()) return false;
    uint64_t length = 0;
    bool haveLength = file.GetLength(&length);
    file.Close();
    if (!haveLength || length == 0) return false;
    std::wstring target, temporary;
    if (!GetTargetPath(&target) || !GetTemporaryPath(&temporary)) return false;
    if (!GunzipFile(TextToAnsi(target), TextToAnsi(temporary))) {
        // A half-decompressed target must never pass for the file.
        DeleteExistingFile(target);
        return false;
    }
    DeleteExistingFile(temporary);
    return true;
}

bool CDNResourceDataProcessor::GetContent(std::string* out) {
    if (file.IsOpen()) return true;
    std::wstring target;
    if (!GetTargetPath(&target)) return false;
    if (::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) return true;  // no target file
    std::string bytes;
    if (!ReadFileBytes(target, &bytes)) return false;
    if (!bytes.empty()) *out = bytes;
    return true;
}
