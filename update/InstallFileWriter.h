#pragma once
// Writes one installed file: the bytes collect in a large buffer (few, large
// writes), are hashed with MD5 on their way to the disk, and ask the batch's
// disk-space guard before each write. The file is opened when the first byte
// is due, so an entry waiting for its turn holds no handle and no buffer.
#include <cstdint>
#include <memory>
#include <string>

#include "afx/File.h"
#include "update/DiskSpaceGuard.h"
#include "update/GzipStream.h"
#include "util/Md5.h"

class InstallFileWriter : public ByteSink {
public:
    static const size_t kBufferSize = 256 * 1024;

    InstallFileWriter() = default;
    ~InstallFileWriter() override;
    InstallFileWriter(const InstallFileWriter&) = delete;
    InstallFileWriter& operator=(const InstallFileWriter&) = delete;

    // Creates or truncates path. Missing folders are made only when Windows says
    // the folder is missing, so a file in an existing folder costs one open.
    bool Open(const std::wstring& path, DiskSpaceGuard* diskSpace);
    bool IsOpen() const { return file_.IsOpen(); }

    char* Space(size_t* available) override;
    bool Commit(size_t count) override;

    // Writes what is buffered, makes the file durable (FlushFileBuffers), closes
    // it and gives the MD5 of every byte as 32 upper-case hex digits. With
    // keepOpen the file is neither flushed nor closed but handed over there, for
    // the caller to make durable later.
    bool Finish(std::string* md5Hex, ScopedFileHandle* keepOpen = nullptr);
    // Closes the file, if open, and deletes it if this writer created it.
    void Discard();

private:
    bool Drain();
    void ReleaseBuffer();

    CFile file_;
    std::wstring path_;
    DiskSpaceGuard* diskSpace_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    bool failed_ = false;
    bool created_ = false;  // Open made the file at path_
    Md5Hasher hasher_;
};
