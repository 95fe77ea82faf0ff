#pragma once
// How the resource update reports its steps: each report is a call on an
// UpdateReports, made on the thread that owns the receiver. The manager never
// calls the receiver itself: it hands every report to its poster, which
// carries the call across to that thread (the window's task queue) and runs
// it there. A report names its step by number too, for the trace.
#include <cstdint>
#include <functional>

#include "util/FailureCause.h"

enum ResourceManagerProgressState : int32_t {
    LocalCheckStarted = 1,
    LocalCheckFinished = 2,
    LauncherInfoStarted = 3,
    LauncherInfoFinished = 4,
    CdnCompareStarted = 5,
    CdnCompareFinished = 6,
    RequestDownloadTotalSize = 7,
    CdnCompareFailed = 8,
    ResourceDownloadStarted = 9,
    ResourceDownloadFailed = 10,
    LauncherDownloadStarted = 11,
    LauncherDownloadFailed = 12,
    DownloadProgress = 15,
    LauncherUpdateFinished = 16,
    ResourceUpdateFinished = 17,
    NoticeResult = 18,  // reported by the window itself
    VerifyProgress = 19,
    DownloadPaused = 20,
};

// Counters: only the latest of a run of them matters, and they are too
// frequent for the trace.
inline bool IsCounterReport(ResourceManagerProgressState state) {
    return state == DownloadProgress || state == VerifyProgress;
}

// The receiver of the reports, one function per step; a receiver overrides
// those it acts on.
class UpdateReports {
public:
    virtual void OnLocalCheckStarted() {}
    virtual void OnLocalCheckFinished() {}
    virtual void OnLauncherInfoStarted() {}
    virtual void OnLauncherInfoFinished() {}
    virtual void OnCdnCompareStarted() {}
    // The list arrived and was read: the comparison may start.
    virtual void OnCdnCompareFinished() {}
    // The comparison's outcome: the bytes to download, launcher files and game
    // resources together (also 0).
    virtual void OnDownloadTotalSize(int64_t totalSize) {}
    // No list to act on; listUnverified: it arrived, but its statement failed.
    // cause: why, as far as it is known (the list's answer, its connection).
    virtual void OnCdnCompareFailed(bool listUnverified, const FailureCause& cause) {}
    virtual void OnResourceDownloadStarted() {}
    // The batch failed for cause: its first failure (a file's disk or check,
    // the answer or connection of its request), or version.txt not saved.
    virtual void OnResourceDownloadFailed(const FailureCause& cause) {}
    virtual void OnLauncherDownloadStarted() {}
    virtual void OnLauncherDownloadFailed(const FailureCause& cause) {}
    // Bytes of the batch received so far, of the whole batch.
    virtual void OnDownloadProgress(int64_t downloaded, int64_t total) {}
    virtual void OnLauncherUpdateFinished() {}
    virtual void OnResourceUpdateFinished() {}
    // Checking installed files (against their MD5 in a repair the player asked
    // for, or cutting and hashing them for chunks): the bytes read, of the
    // bytes to read.
    virtual void OnVerifyProgress(int64_t read, int64_t total) {}
    // The batch under way stands paused; it goes on when the player resumes it.
    virtual void OnDownloadPaused() {}

protected:
    ~UpdateReports() = default;
};

// One report: a call to make on the receiver's thread.
using UpdateReport = std::function<void(UpdateReports&)>;
// Carries a report to the receiver's thread; called from any thread.
using ReportPoster = std::function<void(ResourceManagerProgressState, UpdateReport)>;

// The window message that wakes the foreground window to run the work posted
// to it.
const unsigned WM_UPDATE_PROGRESS = 0x0400 + 100;  // WM_USER + 100 = 1124
