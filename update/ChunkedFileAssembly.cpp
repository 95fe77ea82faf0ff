#include "update/ChunkedFileAssembly.h"

#include <memory>
#include <unordered_map>

#include "update/ResourcePath.h"
#include "util/CngHash.h"
#include "util/ContentChunker.h"
#include "util/DebugTrace.h"
#include "util/FileUtils.h"
#include "util/Md5.h"
#include "util/Sha256.h"
#include "util/TextEncoding.h"

namespace {

// Large sequential reads keep the disk streaming; the installed file is cut
// as it is read, so only this piece and one unfinished chunk are held.
const DWORD kReadPiece = 1u << 20;

bool ReadAt(HANDLE file, uint64_t offset, void* buffer, DWORD count, DWORD* got) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    *got = 0;
    return ::ReadFile(file, buffer, count, got, &at) != 0 || ::GetLastError() == ERROR_HANDLE_EOF;
}

bool WriteAt(HANDLE file, uint64_t offset, const void* data, DWORD count) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    return ::WriteFile(file, data, count, &done, &at) && done == count;
}

bool FileSize(HANDLE file, uint64_t* size) {
    LARGE_INTEGER length;
    if (!::GetFileSizeEx(file, &length)) return false;
    *size = static_cast<uint64_t>(length.QuadPart);
    return true;
}

// Opens or makes the temporary file, and its folder on a first install.
HANDLE OpenPart(const std::wstring& path) {
    HANDLE part = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    std::wstring folder;
    if (part == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_PATH_NOT_FOUND && GetParentFolder(path, &folder)) {
        CreateFolderPath(folder);
        part = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return part;
}

}  // namespace

ChunkedFileAssembly::ChunkedFileAssembly(const ContentIndexEntry& entry, const std::wstring& targetPath,
                                         const std::wstring& expectedMd5)
    : entry_(entry),
      targetPath_(targetPath),
      partPath_(targetPath + kResourceTemporarySuffix),
      expectedMd5_(expectedMd5),
      written_(entry.chunks.size(), false) {}

bool ChunkedFileAssembly::Prepare(const std::function<void(uint64_t)>& onBytesRead) {
    ScopedLock hold(lock_);
    ScopedFileHandle part(OpenPart(partPath_));
    if (!part.IsValid()) return false;
    uint64_t partSize = 0;
    if (!FileSize(part.Get(), &partSize)) return false;
    std::vector<bool> have(entry_.chunks.size(), false);
    // What an earlier run of the same update wrote stays where it is: each
    // chunk that reads back with its SHA-256 is kept.
    std::unique_ptr<char[]> buffer(new char[ContentChunker::kMaxChunk]);
    for (size_t i = 0; i < entry_.chunks.size(); ++i) {
        const ContentChunk& chunk = entry_.chunks[i];
        if (chunk.offset + chunk.length > partSize) break;
        DWORD got = 0;
        std::string digest;
        if (!ReadAt(part.Get(), chunk.offset, buffer.get(), chunk.length, &got)) return false;
        if (onBytesRead) onBytesRead(got);
        have[i] = got == chunk.length && Sha256Of(buffer.get(), got, &digest) && digest == chunk.sha256;
    }
    if (!CopyFromInstalled(part.Get(), &have, onBytesRead)) return false;
    // Longer (another release's) or shorter (a run killed early) than the new
    // file: cut or extend it, the missing chunks fill the rest.
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(entry_.FileSize());
    if (!::SetFilePointerEx(part.Get(), size, nullptr, FILE_BEGIN) || !::SetEndOfFile(part.Get())) return false;
    missing_.clear();
    for (size_t i = 0; i < have.size(); ++i) {
        written_[i] = have[i];
        if (!have[i]) missing_.push_back(static_cast<uint32_t>(i));
    }
    stillMissing_ = missing_.size();
    return true;
}

bool ChunkedFileAssembly::CopyFromInstalled(HANDLE part, std::vector<bool>* have,
                                            const std::function<void(uint64_t)>& onBytesRead) {
    std::unordered_map<std::string, std::vector<uint32_t>> wanted;  // SHA-256 to the chunks that have it
    for (size_t i = 0; i < entry_.chunks.size(); ++i) {
        if (!(*have)[i]) wanted[entry_.chunks[i].sha256].push_back(static_cast<uint32_t>(i));
    }
    if (wanted.empty()) return true;
    ScopedFileHandle installed(::CreateFileW(targetPath_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                             nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!installed.IsValid()) return true;  // nothing installed: every chunk not in the temporary file is fetched
    ContentChunker chunker;
    std::vector<char> pending;  // the installed file's bytes from pendingStart on
    uint64_t pendingStart = 0;
    std::vector<uint64_t> ends;
    std::unique_ptr<char[]> piece(new char[kReadPiece]);
    bool atEnd = false;
    while (!atEnd && !wanted.empty()) {
        DWORD got = 0;
        if (!::ReadFile(installed.Get(), piece.get(), kReadPiece, &got, nullptr)) return false;
        if (onBytesRead) onBytesRead(got);
        ends.clear();
        atEnd = got == 0;
        if (atEnd) {
            chunker.Finish(&ends);
        } else {
            pending.insert(pending.end(), piece.get(), piece.get() + got);
            chunker.Feed(piece.get(), got, &ends);
        }
        size_t used = 0;
        for (uint64_t end : ends) {
            size_t length = static_cast<size_t>(end - pendingStart) - used;
            std::string digest;
            if (!Sha256Of(pending.data() + used, length, &digest)) return false;
            auto found = wanted.find(digest);
            if (found != wanted.end()) {
                for (uint32_t index : found->second) {
                    const ContentChunk& chunk = entry_.chunks[index];
                    if (chunk.length != length) continue;
                    if (!WriteAt(part, chunk.offset, pending.data() + used, chunk.length)) return false;
                    (*have)[index] = true;
                }
                wanted.erase(found);
            }
            used += length;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
        pendingStart += used;
    }
    return true;
}

uint32_t ChunkedFileAssembly::TaskOffset(uint32_t index) const {
    return index == 0 ? 0 : entry_.chunks[index].memberOffset;
}

uint32_t ChunkedFileAssembly::TaskLength(uint32_t index) const {
    return entry_.chunks[index].memberOffset + entry_.chunks[index].memberLength - TaskOffset(index);
}

uint64_t ChunkedFileAssembly::MissingMemberBytes() const {
    uint64_t bytes = 0;
    for (uint32_t index : missing_) bytes += TaskLength(index);
    return bytes;
}

bool ChunkedFileAssembly::WriteChunk(uint32_t index, const std::string& bytes, bool* complete) {
    *complete = false;
    if (index >= entry_.chunks.size()) return false;
    const ContentChunk& chunk = entry_.chunks[index];
    std::string digest;
    if (bytes.size() != chunk.length || !Sha256Of(bytes, &digest) || digest != chunk.sha256) return false;
    ScopedLock hold(lock_);
    if (abandoned_) return true;
    if (written_[index]) {
        *complete = stillMissing_ == 0;
        return true;
    }
    if (!part_.IsValid()) {
        part_.Reset(::CreateFileW(partPath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!part_.IsValid()) return false;
    }
    if (!WriteAt(part_.Get(), chunk.offset, bytes.data(), chunk.length)) return false;
    written_[index] = true;
    *complete = --stillMissing_ == 0;
    if (*complete) part_.Reset();
    return true;
}

bool ChunkedFileAssembly::Complete() {
    ScopedLock hold(lock_);
    return stillMissing_ == 0 && !abandoned_;
}

bool ChunkedFileAssembly::Install(bool* installedNow) {
    *installedNow = false;
    ScopedLock hold(lock_);
    if (outcome_ != Outcome::Pending) return outcome_ == Outcome::Installed;
    if (abandoned_ || stillMissing_ != 0) return false;
    part_.Reset();
    outcome_ = Outcome::Failed;
    {
        ScopedFileHandle file(::CreateFileW(partPath_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file.IsValid()) return false;
        if (!VerifyWhole(file.Get())) {
            file.Reset();
            ::DeleteFileW(partPath_.c_str());
            return false;
        }
        // Durable before it takes the installed file's name.
        if (!::FlushFileBuffers(file.Get())) return false;
    }
    if (!::MoveFileExW(partPath_.c_str(), targetPath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return false;
    }
    outcome_ = Outcome::Installed;
    *installedNow = true;
    return true;
}

bool ChunkedFileAssembly::VerifyWhole(HANDLE file) {
    std::unique_ptr<char[]> piece(new char[kReadPiece]);
    Md5Hasher md5;
    CngHasher sha256(HashAlgorithm::Sha256);
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, piece.get(), kReadPiece, &got, nullptr)) return false;
        if (got == 0) break;
        total += got;
        if (!md5.Update(piece.get(), got) || !sha256.Update(piece.get(), got)) return false;
    }
    std::string md5Hex, digest;
    if (!md5.FinishHex(&md5Hex) || !sha256.Finish(&digest)) return false;
    if (total == entry_.FileSize() && SameMd5Hex(md5Hex, expectedMd5_) && digest == entry_.sha256) return true;
    DebugTrace(L"资源校验失败\t" + targetPath_ + L"\t" + expectedMd5_ + L"\t" + AnsiToText(md5Hex));
    return false;
}

void ChunkedFileAssembly::Abandon() {
    ScopedLock hold(lock_);
    abandoned_ = true;
    part_.Reset();
}

bool ChunkedFileAssembly::Abandoned() {
    ScopedLock hold(lock_);
    return abandoned_;
}
