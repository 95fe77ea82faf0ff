#pragma once
// How the resource update reports its steps: a state and, for some states, a
// progress record. A record handed to a callback lives only during the call;
// a receiver that keeps it takes a copy with Clone.
#include <cstdint>
#include <functional>

enum ResourceManagerProgressState : int32_t {
    LocalCheckStarted = 1,
    LocalCheckFinished = 2,
    LauncherInfoStarted = 3,
    LauncherInfoFinished = 4,
    CdnCompareStarted = 5,
    CdnCompareFinished = 6,
    RequestDownloadTotalSize = 7,  // RequestDownloadTotalSizeNoticeInfo
    CdnCompareFailed = 8,          // CdnListUnverifiedInfo, or no record
    ResourceDownloadStarted = 9,
    ResourceDownloadFailed = 10,
    LauncherDownloadStarted = 11,
    LauncherDownloadFailed = 12,
    DownloadProgress = 15,  // ResourceManagerUpdateProgressInfo
    LauncherUpdateFinished = 16,
    ResourceUpdateFinished = 17,
    NoticeResult = 18,  // LauncherNoticeUpgradeInfo, reported by the window itself
    // Checking installed files against their MD5 (a repair the player asked for):
    // ResourceManagerUpdateProgressInfo with the bytes read and the bytes to read.
    VerifyProgress = 19,
    // The batch under way stands paused; it goes on when the player resumes it.
    DownloadPaused = 20,
};

struct ResourceManagerProgressInfoBase {
    virtual ~ResourceManagerProgressInfoBase() = default;
    virtual ResourceManagerProgressInfoBase* Clone() const = 0;
};

struct ResourceManagerUpdateProgressInfo : ResourceManagerProgressInfoBase {
    int64_t downloaded = 0;  // bytes of the batch received so far
    int64_t total = 0;       // bytes of the whole batch
    ResourceManagerUpdateProgressInfo(int64_t d = 0, int64_t t = 0) : downloaded(d), total(t) {}
    ResourceManagerProgressInfoBase* Clone() const override {
        return new ResourceManagerUpdateProgressInfo(*this);
    }
};

struct RequestDownloadTotalSizeNoticeInfo : ResourceManagerProgressInfoBase {
    int64_t totalSize = 0;  // launcher files and game resources together
    explicit RequestDownloadTotalSizeNoticeInfo(int64_t size = 0) : totalSize(size) {}
    ResourceManagerProgressInfoBase* Clone() const override {
        return new RequestDownloadTotalSizeNoticeInfo(*this);
    }
};

// The record of CdnCompareFailed when the list arrived but could not be
// verified (without a record, the list was not obtained).
struct CdnListUnverifiedInfo : ResourceManagerProgressInfoBase {
    ResourceManagerProgressInfoBase* Clone() const override { return new CdnListUnverifiedInfo(*this); }
};

using ProgressCallback = std::function<void(ResourceManagerProgressState, ResourceManagerProgressInfoBase*)>;

// The window message that carries a state (first parameter) and a record the
// receiver owns (second parameter, or 0) to the foreground window.
const unsigned WM_UPDATE_PROGRESS = 0x0400 + 100;  // WM_USER + 100 = 1124
