#pragma once
// The engine's pauses (and, when asked, its stall window) shortened for the
// tests of one fixture, restored after.
#include "download/DownloadTimings.h"

class ShortTimings {
public:
    explicit ShortTimings(DWORD retryPauseMs = 10, DWORD segmentPauseMs = 1, DWORD stallWindowMs = 60000)
        : saved_(GetDownloadTimings()) {
        DownloadTimings t;
        t.retryPauseMs = retryPauseMs;
        t.segmentPauseMs = segmentPauseMs;
        t.stallWindowMs = stallWindowMs;
        OverrideDownloadTimingsForTesting(t);
    }
    ~ShortTimings() { OverrideDownloadTimingsForTesting(saved_); }
    ShortTimings(const ShortTimings&) = delete;
    ShortTimings& operator=(const ShortTimings&) = delete;

private:
    DownloadTimings saved_;
};
