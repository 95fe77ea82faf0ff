#pragma once
// Writes one installed file: the bytes collect in a large buffer (few, large
// writes), are hashed with MD5 on their way to the disk, and ask the batch's
// disk-space guard before each write. The file is opened when the first byte
// is due, so an entry waiting for its turn holds no handle and no buffer.
// Until its owner keeps it, the file is marked for deletion when closed: a
// launcher that quits or is killed while it arrives leaves no unverified
// bytes under its name, whatever the workers were doing.
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

    // Creates or truncates path, marked for deletion on close. Missing folders
    // are made only when Windows says the folder is missing, so a file in an
    // existing folder costs one open.
    bool Open(const std::wstring& path, DiskSpaceGuard* diskSpace);
    bool IsOpen() const { return file_.IsOpen(); }

    char* Space(size_t* available) override;
    bool Commit(size_t count) override;

    // From the next Open on, the bytes are hashed with SHA-256 as well (when
    // the content index gives the file's SHA-256).
    void HashSha256Too() { sha256Wanted_ = true; }
    // Writes what is buffered and gives the MD5 of every byte as 32 upper-case
    // hex digits, and their SHA-256 (32 bytes) when asked for and sha256 is
    // given. The file stays open and marked for deletion: Keep or Discard.
    bool Finish(std::string* md5Hex, std::string* sha256 = nullptr);
    // After Finish: the file is no longer deleted on close; it is made durable
    // (FlushFileBuffers) and closed, or, with keepOpen, handed over there
    // unflushed for the caller to make durable later. False (the file then
    // goes) when it cannot be kept.
    bool Keep(ScopedFileHandle* keepOpen = nullptr);
    // Closes the file, if open, and deletes it if this writer created it.
    void Discard();
    // The system's error code of the write that failed since Open (the batch's
    // floor refusing counts as ERROR_DISK_FULL); 0 when none failed.
    DWORD WriteError() const { return failed_ ? error_ : 0; }

private:
    bool OpenMarked(const std::wstring& path);
    // Sets or clears the file's delete-on-close disposition.
    bool MarkForDeletion(bool deleteOnClose);
    bool Drain();
    void ReleaseBuffer();

    CFile file_;
    std::wstring path_;
    DiskSpaceGuard* diskSpace_ = nullptr;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    bool failed_ = false;
    DWORD error_ = 0;       // why failed_ was set
    bool created_ = false;  // Open made the file at path_
    Md5Hasher hasher_;
    bool sha256Wanted_ = false;
    std::unique_ptr<CngHasher> sha256_;  // while a file is open, when wanted
};
