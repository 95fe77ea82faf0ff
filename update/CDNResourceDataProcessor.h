#pragma once
// Writes one game resource or launcher file: the compressed bytes go into a
// temporary file beside the target ("<target>.t"), and when the transfer has
// ended they are decompressed into the target. The target is rootFolder plus
// the task's name; a name that would leave rootFolder is refused.
#include <cstdint>
#include <functional>
#include <string>

#include "afx/File.h"
#include "download/DownloadDataProcessor.h"

class CDNResourceDataProcessor : public DownloadDataProcessor {
public:
    explicit CDNResourceDataProcessor(const DownloadTaskInfo& info) : DownloadDataProcessor(info) {}

    // Opens an empty temporary file (creating the folders) after deleting the
    // old temporary and target files. False when a file is already open, the
    // name is not a safe path under rootFolder, or the file cannot be created.
    bool Begin(uint32_t contentLength) override;
    // Closes the temporary file and decompresses it into the target. False
    // without an open file, for an empty transfer, or when decompression fails
    // (the partial target is then removed, the temporary file stays).
    bool End() override;
    bool Write(const void* data, uint32_t count) override;
    // The target file's bytes; true and *out unchanged while the transfer is
    // open or when there is no target file (or it is empty).
    bool GetContent(std::string* out) override;

    // Target path (rootFolder + name) and temporary path; false for an unsafe name.
    bool GetTargetPath(std::wstring* path) const;
    bool GetTemporaryPath(std::wstring* path) const;

    CFile file;                // the temporary file during a transfer
    std::wstring rootFolder;   // ends in a backslash
    int32_t written = 0;       // bytes written since the last Begin
    int32_t maxWritten = 0;    // most bytes any attempt of this processor wrote
    // Told how many bytes beyond maxWritten have just been written, so bytes a
    // repeated attempt fetches again are reported only once.
    std::function<void(int64_t)> onProgress;
};
