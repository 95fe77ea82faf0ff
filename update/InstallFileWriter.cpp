#include "update/InstallFileWriter.h"

#include <windows.h>

#include <vector>

#include "util/FileUtils.h"

namespace {

// Buffers go back to a small pool instead of the heap: a batch of tens of
// thousands of small files would otherwise map and unmap 256 KiB for each.
class BufferPool {
public:
    std::unique_ptr<char[]> Take() {
        ScopedLock hold(lock_);
        if (free_.empty()) return std::unique_ptr<char[]>(new char[InstallFileWriter::kBufferSize]);
        std::unique_ptr<char[]> buffer = std::move(free_.back());
        free_.pop_back();
        return buffer;
    }
    void Give(std::unique_ptr<char[]> buffer) {
        ScopedLock hold(lock_);
        if (free_.size() < kKept) free_.push_back(std::move(buffer));
    }

private:
    static const size_t kKept = 4;  // one per download worker, and a spare
    CriticalSection lock_;
    std::vector<std::unique_ptr<char[]>> free_;
};

BufferPool& Pool() {
    static BufferPool* pool = new BufferPool();  // outlives every worker
    return *pool;
}

}  // namespace

InstallFileWriter::~InstallFileWriter() {
    if (file_.IsOpen()) Discard();
    ReleaseBuffer();
}

void InstallFileWriter::ReleaseBuffer() {
    if (buffer_) Pool().Give(std::move(buffer_));
    used_ = 0;
}

bool InstallFileWriter::Open(const std::wstring& path, DiskSpaceGuard* diskSpace) {
    if (file_.IsOpen()) Discard();
    path_ = path;
    diskSpace_ = diskSpace;
    failed_ = false;
    created_ = false;
    used_ = 0;  // the digest starts over already: Finish and Discard restart it
    if (!OpenMarked(path)) {
        DWORD error = ::GetLastError();
        std::wstring folder;
        if ((error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) || !GetParentFolder(path, &folder)) {
            return false;
        }
        CreateFolderPath(folder);
        if (!OpenMarked(path)) return false;
    }
    created_ = true;
    if (!buffer_) buffer_ = Pool().Take();
    sha256_.reset(sha256Wanted_ ? new CngHasher(HashAlgorithm::Sha256) : nullptr);
    return true;
}

char* InstallFileWriter::Space(size_t* available) {
    if (!file_.IsOpen() || failed_) return nullptr;
    if (used_ == kBufferSize && !Drain()) return nullptr;
    *available = kBufferSize - used_;
    return buffer_.get() + used_;
}

bool InstallFileWriter::Commit(size_t count) {
    if (failed_ || count > kBufferSize - used_) return false;
    used_ += count;
    return used_ < kBufferSize || Drain();
}

bool InstallFileWriter::Drain() {
    if (failed_) return false;
    if (used_ == 0) return true;
    if (diskSpace_ && !diskSpace_->Reserve(used_)) {
        // The drive would keep less than the batch's floor: as full as it may get.
        ::SetLastError(ERROR_DISK_FULL);
    } else if (hasher_.Update(buffer_.get(), used_) && (!sha256_ || sha256_->Update(buffer_.get(), used_)) &&
               file_.Write(buffer_.get(), static_cast<uint32_t>(used_))) {
        used_ = 0;
        return true;
    }
    error_ = ::GetLastError();
    failed_ = true;
    return false;
}

bool InstallFileWriter::OpenMarked(const std::wstring& path) {
    // Written only by this writer (no sharing), with DELETE access for the mark.
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    file_.Attach(handle);
    if (!MarkForDeletion(true)) {
        DWORD error = ::GetLastError();
        file_.Close();
        ::DeleteFileW(path.c_str());
        ::SetLastError(error);
        return false;
    }
    return true;
}

bool InstallFileWriter::MarkForDeletion(bool deleteOnClose) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = deleteOnClose ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file_.Handle(), FileDispositionInfo, &disposition,
                                        sizeof(disposition)) != FALSE;
}

bool InstallFileWriter::Finish(std::string* md5Hex, std::string* sha256) {
    if (!file_.IsOpen()) return false;
    bool ok = Drain();
    ReleaseBuffer();
    std::string digest;
    ok = hasher_.FinishHex(&digest) && ok;
    if (ok) *md5Hex = digest;
    if (sha256_) {
        std::string sha;
        ok = sha256_->Finish(&sha) && ok;
        if (ok && sha256) *sha256 = sha;
        sha256_.reset();
    }
    return ok;
}

bool InstallFileWriter::Keep(ScopedFileHandle* keepOpen) {
    if (!file_.IsOpen() || failed_ || !MarkForDeletion(false)) {
        Discard();
        return false;
    }
    created_ = false;  // from here on the caller decides what becomes of the file
    std::wstring().swap(path_);  // kept by the batch's processor until the batch ends
    if (keepOpen) {
        keepOpen->Reset(file_.Detach());
        return true;
    }
    bool flushed = file_.Flush();
    file_.Close();
    return flushed;
}

void InstallFileWriter::Discard() {
    file_.Close();
    ReleaseBuffer();
    std::string ignored;
    hasher_.FinishHex(&ignored);
    sha256_.reset();
    // Only what this writer made: a file it could not open is somebody else's.
    if (created_) ::DeleteFileW(path_.c_str());
    created_ = false;
    failed_ = false;
}
