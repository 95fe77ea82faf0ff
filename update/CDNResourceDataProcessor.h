#pragma once
// Installs one game resource or launcher file while its package bytes arrive:
// the bytes are inflated on the fly into a file beside the target, hashed as
// they are written, and only a file whose MD5 matches the list's is flushed and
// moved over the target. The installed file stays as it was until then. A file
// that is not installed yet is written under its own name directly (the
// resource list, not the file's presence, says what is installed) and deleted
// when it fails its check. The target is rootFolder plus the task's name; a
// name that would leave rootFolder is refused.
#include <cstdint>
#include <functional>
#include <string>

#include "download/DownloadDataProcessor.h"
#include "update/DiskSpaceGuard.h"
#include "update/FileFlusher.h"
#include "update/GzipStream.h"
#include "update/InstallFileWriter.h"
#include "update/ReceivedBytes.h"

// Its received bytes (ReceivedBytes) are those of the package: compressed.
class CDNResourceDataProcessor : public DownloadDataProcessor, public ReceivedBytes {
public:
    explicit CDNResourceDataProcessor(const DownloadTaskInfo& info) : DownloadDataProcessor(info) {}

    // Starts an attempt. False while an attempt is under way or for a name that
    // is no safe path under rootFolder. Nothing is touched on disk yet. Once the
    // file is in place, later attempts leave it alone.
    bool Begin(uint32_t contentLength) override;
    // The next bytes of the entry. When the entry's last byte (info.size) has
    // arrived the file is finished at once: verified, flushed and moved into
    // place. False when the bytes cannot be inflated or written, the drive would
    // run short of space, or the finished file fails its check.
    bool Write(const void* data, uint32_t count) override;
    // Ends the attempt: true only when the file is in place with the expected
    // MD5. Whatever a failed attempt wrote is deleted; the installed file stays.
    bool End() override;
    // The target file's bytes; true and *out unchanged while an attempt is
    // under way or when there is no target file (or it is empty).
    bool GetContent(std::string* out) override;

    // Why the last attempt failed: the disk's error with its code, or bytes
    // that are not the file (content check); always naming the file.
    FailureCause Failure() const override { return failure_; }

    bool GetTargetPath(std::wstring* path) const;
    bool GetTemporaryPath(std::wstring* path) const;
    bool IsReceiving() const { return attempt_ == Attempt::Receiving; }
    // Once in place with the expected MD5, the file stays: a segment cut short
    // after it (a pause) does not fetch it again.
    bool IsKept() const override { return installedOnce_; }

    std::wstring rootFolder;   // ends in a backslash
    std::wstring expectedMd5;  // from the list; a file with another MD5 is never taken
    std::string expectedSha256;  // from the content index (32 bytes), or empty: then MD5 alone
    // True: an installed file may be there, and is replaced only by a verified
    // one. False: the entry is not installed, so it is written in place.
    bool replacesInstalledFile = true;
    DiskSpaceGuard* diskSpace = nullptr;  // not owned; none: no free-space check
    // Not owned. With a flusher, a file written in place is made durable there,
    // and onInstalled is told (on the flusher's thread) once it is on the disk;
    // without, the file is flushed before Write or End returns.
    FileFlusher* flusher = nullptr;
    // Told when the file is in place with the expected MD5 and on the disk.
    std::function<void()> onInstalled;
    // Told (on the flusher's thread) when a file handed to the flusher could
    // not be made durable: it is deleted, and never told installed.
    std::function<void(const FailureCause&)> onLost;

private:
    // Skipping: the file was put in place by an earlier attempt of this
    // processor; a retry of its segment passes its bytes by.
    enum class Attempt { Idle, Receiving, Skipping, Installed, Failed };
    bool Finish();
    // The attempt fails for cause: whatever it wrote goes.
    bool Fail(const FailureCause& cause);
    // A step on the disk failed: traced with the system's error code, then Fail.
    bool DiskFailed(const wchar_t* step);
    // Bytes that are not the file: they do not inflate, or fail its check.
    bool NotTheFile();
    // The inflater refused: the writer's failure when it refused the bytes, else theirs.
    bool InflateFailed();

    Attempt attempt_ = Attempt::Idle;
    bool installedOnce_ = false;
    FailureCause failure_;
    std::wstring writePath_;  // temporary or target path of this attempt
    GzipStreamInflater inflater_;
    InstallFileWriter out_;
};
