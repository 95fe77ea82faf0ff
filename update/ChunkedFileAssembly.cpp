#include "update/ChunkedFileAssembly.h"

#include <memory>
#include <unordered_map>

#include "afx/WinThread.h"
#include "update/DiskSpaceGuard.h"
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
const DWORD kReadPiece = 4u << 20;
// Hashing the installed file's chunks is most of a rebuild's own work: it is
// shared among up to this many threads, a piece at a time.
const DWORD kMaxHashThreads = 4;

struct Span {
    size_t at;
    size_t length;
};

// Every step-th span from first on, hashed on one thread.
struct HashJob {
    const char* base = nullptr;
    const std::vector<Span>* spans = nullptr;
    std::vector<std::string>* digests = nullptr;
    size_t first = 0;
    size_t step = 1;
    bool ok = true;
};

UINT HashJobMain(LPVOID param) {
    HashJob* job = static_cast<HashJob*>(param);
    CngHasher hasher(HashAlgorithm::Sha256);
    for (size_t i = job->first; i < job->spans->size(); i += job->step) {
        const Span& span = (*job->spans)[i];
        job->ok = hasher.Update(job->base + span.at, span.length) && hasher.Finish(&(*job->digests)[i]) && job->ok;
    }
    return 0;
}

DWORD HashThreads() {
    SYSTEM_INFO system;
    ::GetSystemInfo(&system);
    return system.dwNumberOfProcessors < kMaxHashThreads ? system.dwNumberOfProcessors : kMaxHashThreads;
}

// The SHA-256 of each span of base, on this thread and up to HashThreads() - 1
// others (a thread that cannot be started leaves its share to this one).
bool Sha256OfSpans(const char* base, const std::vector<Span>& spans, std::vector<std::string>* digests) {
    digests->assign(spans.size(), std::string());
    size_t threads = HashThreads();
    if (threads > spans.size()) threads = spans.size();
    if (threads < 1) threads = 1;
    std::vector<HashJob> jobs(threads);
    std::vector<std::unique_ptr<CWinThread>> helpers;
    for (size_t t = 0; t < threads; ++t) {
        jobs[t].base = base;
        jobs[t].spans = &spans;
        jobs[t].digests = digests;
        jobs[t].first = t;
        jobs[t].step = threads;
    }
    for (size_t t = 1; t < threads; ++t) {
        std::unique_ptr<CWinThread> helper(new CWinThread());
        if (helper->Begin(&HashJobMain, &jobs[t])) {
            helpers.push_back(std::move(helper));
        } else {
            HashJobMain(&jobs[t]);
        }
    }
    HashJobMain(&jobs[0]);
    for (std::unique_ptr<CWinThread>& helper : helpers) helper->Join();
    for (const HashJob& job : jobs) {
        if (!job.ok) return false;
    }
    return true;
}

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

bool ChunkedFileAssembly::Prepare(const std::function<bool(uint64_t)>& onBytesRead, DiskSpaceGuard* space) {
    ScopedLock hold(lock_);
    ScopedFileHandle part(OpenPart(partPath_));
    if (!part.IsValid()) return false;
    uint64_t partSize = 0;
    if (!FileSize(part.Get(), &partSize)) return false;
    // Copied chunks and the final size take the drive's space now, before
    // any byte is fetched: asked for at once, all of it.
    const uint64_t finalSize = entry_.FileSize();
    if (space && finalSize > partSize && !space->Reserve(finalSize - partSize)) {
        ::SetLastError(ERROR_DISK_FULL);
        return false;
    }
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
        if (onBytesRead && !onBytesRead(got)) return false;
        have[i] = got == chunk.length && Sha256Of(buffer.get(), got, &digest) && digest == chunk.sha256;
    }
    if (!CopyFromInstalled(part.Get(), &have, onBytesRead)) return false;
    // Longer (another release's) or shorter (a run killed early) than the new
    // file: cut or extend it, the missing chunks fill the rest.
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(finalSize);
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
                                            const std::function<bool(uint64_t)>& onBytesRead) {
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
    std::vector<Span> spans;
    std::vector<std::string> digests;
    bool atEnd = false;
    while (!atEnd && !wanted.empty()) {
        size_t held = pending.size();
        pending.resize(held + kReadPiece);
        DWORD got = 0;
        if (!::ReadFile(installed.Get(), pending.data() + held, kReadPiece, &got, nullptr)) return false;
        pending.resize(held + got);
        if (onBytesRead && !onBytesRead(got)) return false;
        ends.clear();
        atEnd = got == 0;
        if (atEnd) {
            chunker.Finish(&ends);
        } else {
            chunker.Feed(pending.data() + held, got, &ends);
        }
        spans.clear();
        size_t used = 0;
        for (uint64_t end : ends) {
            size_t length = static_cast<size_t>(end - pendingStart) - used;
            spans.push_back(Span{used, length});
            used += length;
        }
        if (!Sha256OfSpans(pending.data(), spans, &digests)) return false;
        for (size_t i = 0; i < spans.size(); ++i) {
            auto found = wanted.find(digests[i]);
            if (found == wanted.end()) continue;
            for (uint32_t index : found->second) {
                const ContentChunk& chunk = entry_.chunks[index];
                if (chunk.length != spans[i].length) continue;
                if (!WriteAt(part, chunk.offset, pending.data() + spans[i].at, chunk.length)) return false;
                (*have)[index] = true;
            }
            wanted.erase(found);
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
    // Every byte is in a chunk whose SHA-256 was checked before it was
    // written, so the whole file's SHA-256 would tell nothing new; its MD5 is
    // the list's own word on the file.
    std::unique_ptr<char[]> piece(new char[kReadPiece]);
    Md5Hasher md5;
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, piece.get(), kReadPiece, &got, nullptr)) return false;
        if (got == 0) break;
        total += got;
        if (!md5.Update(piece.get(), got)) return false;
    }
    std::string md5Hex;
    if (!md5.FinishHex(&md5Hex)) return false;
    if (total == entry_.FileSize() && SameMd5Hex(md5Hex, expectedMd5_)) return true;
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
