#pragma once
// The engine's pauses shortened for the tests of one fixture, restored after.
#include "download/DownloadTimings.h"

class ShortTimings {
public:
    explicit ShortTimings(DWORD retryPauseMs = 10, DWORD segmentPauseMs = 1) : saved_(GetDownloadTimings()) {
        DownloadTimings t;
        t.retryPauseMs = retryPauseMs;
        t.segmentPauseMs = segmentPauseMs;
        OverrideDownloadTimingsForTesting(t);
    }
    ~ShortTimings() { OverrideDownloadTimingsForTesting(saved_); }
    ShortTimings(const ShortTimings&) = delete;
    ShortTimings& operator=(const ShortTimings&) = delete;

private:
    DownloadTimings saved_;
};
