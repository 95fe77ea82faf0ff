#include "update/CDNResourceDataProcessor.h"

#include <windows.h>

#include "update/FileReplace.h"
#include "update/ResourcePath.h"
#include "util/DebugTrace.h"
#include "util/FileUtils.h"
#include "util/Md5.h"
#include "util/TextEncoding.h"

bool CDNResourceDataProcessor::GetTargetPath(std::wstring* path) const {
    return ResourcePathUnder(rootFolder, info.name, path);
}

bool CDNResourceDataProcessor::GetTemporaryPath(std::wstring* path) const {
    if (!GetTargetPath(path)) return false;
    *path += kResourceTemporarySuffix;
    return true;
}

bool CDNResourceDataProcessor::Begin(uint32_t contentLength) {
    StartAttempt();
    failure_ = FailureCause();
    if (attempt_ == Attempt::Receiving) return false;
    bool safe = replacesInstalledFile ? GetTemporaryPath(&writePath_) : GetTargetPath(&writePath_);
    if (!safe) {
        failure_ = FailureCause(FailureKind::DiskError, ERROR_INVALID_NAME, info.name);
        return false;
    }
    if (installedOnce_) {
        // Writing it again would put a verified, recorded file back in the making.
        attempt_ = Attempt::Skipping;
        return true;
    }
    inflater_.Reset();
    if (!expectedSha256.empty()) out_.HashSha256Too();
    attempt_ = Attempt::Receiving;
    return true;
}

bool CDNResourceDataProcessor::Write(const void* data, uint32_t count) {
    if (attempt_ != Attempt::Receiving && attempt_ != Attempt::Skipping) return false;
    if (attempt_ == Attempt::Receiving) {
        if (!out_.IsOpen() && !out_.Open(writePath_, diskSpace)) return DiskFailed(L"CreateFile");
        if (!inflater_.Feed(data, count, &out_)) return InflateFailed();
    }
    Add(count);
    // The entry is complete: finish it now rather than at the segment's end, so
    // a segment of thousands of files holds one open file at a time.
    if (attempt_ == Attempt::Receiving && info.size > 0 && written >= info.size) {
        return Finish();
    }
    return true;
}

bool CDNResourceDataProcessor::Finish() {
    // An empty transfer is no file, whatever the list says.
    if (written == 0) return NotTheFile();
    if (!out_.IsOpen() && !out_.Open(writePath_, diskSpace)) return DiskFailed(L"CreateFile");
    if (!inflater_.Finish(&out_)) return InflateFailed();
    // A file written in place goes to the flusher still open: the disk writes it
    // while this worker goes on with the next file.
    const bool deferred = flusher && !replacesInstalledFile;
    std::string md5;
    std::string sha256;
    if (!out_.Finish(&md5, &sha256)) {
        if (out_.WriteError() != 0) ::SetLastError(out_.WriteError());
        return DiskFailed(L"WriteFile");
    }
    if (!SameMd5Hex(md5, expectedMd5) || (!expectedSha256.empty() && sha256 != expectedSha256)) {
        DebugTrace(L"资源校验失败\t" + info.name + L"\t" + expectedMd5 + L"\t" + AnsiToText(md5));
        return NotTheFile();
    }
    // Verified: only now may the file outlive this process.
    ScopedFileHandle unflushed;
    if (!out_.Keep(deferred ? &unflushed : nullptr)) return DiskFailed(L"FlushFileBuffers");
    if (replacesInstalledFile) {
        std::wstring target;
        if (!GetTargetPath(&target)) return Fail(FailureCause(FailureKind::DiskError, ERROR_INVALID_NAME, info.name));
        if (!::MoveFileExW(writePath_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ::SetLastError(WhyNotReplaced(target, ::GetLastError()));
            return DiskFailed(L"MoveFileEx");
        }
    }
    attempt_ = Attempt::Installed;
    installedOnce_ = true;
    if (deferred) {
        std::function<void()> installed = onInstalled;
        std::function<void(const FailureCause&)> lost = onLost;
        std::wstring path = writePath_;
        std::wstring name = info.name;
        flusher->Add(std::move(unflushed), [installed, lost, path, name](bool flushed, DWORD error) {
            if (!flushed) {
                ::DeleteFileW(path.c_str());  // never recorded; the batch fails
                if (lost) lost(DiskFailure(error, name));
            } else if (installed) {
                installed();
            }
        });
    } else if (onInstalled) {
        onInstalled();
    }
    return true;
}

bool CDNResourceDataProcessor::DiskFailed(const wchar_t* step) {
    const DWORD error = ::GetLastError();
    TraceDiskError(step, info.name);
    return Fail(DiskFailure(error, info.name));
}

bool CDNResourceDataProcessor::NotTheFile() { return Fail(FailureCause(FailureKind::ContentCheck, 0, info.name)); }

bool CDNResourceDataProcessor::InflateFailed() {
    const DWORD error = out_.WriteError();
    if (error == 0) return NotTheFile();
    ::SetLastError(error);
    return DiskFailed(L"WriteFile");
}

bool CDNResourceDataProcessor::Fail(const FailureCause& cause) {
    failure_ = cause;
    bool hadFile = out_.IsOpen() || attempt_ == Attempt::Receiving;
    out_.Discard();
    inflater_.Reset();
    // The file this attempt wrote, also one already closed by a failed check.
    if (hadFile && !writePath_.empty()) ::DeleteFileW(writePath_.c_str());
    attempt_ = Attempt::Failed;
    return false;
}

bool CDNResourceDataProcessor::End() {
    if (attempt_ == Attempt::Receiving) Finish();
    bool installed = attempt_ == Attempt::Installed || attempt_ == Attempt::Skipping;
    attempt_ = Attempt::Idle;
    return installed;
}

bool CDNResourceDataProcessor::GetContent(std::string* out) {
    if (attempt_ == Attempt::Receiving) return true;
    std::wstring target;
    if (!GetTargetPath(&target)) return false;
    if (::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) return true;  // no target file
    std::string bytes;
    if (!ReadFileBytes(target, &bytes)) return false;
    if (!bytes.empty()) *out = bytes;
    return true;
}
