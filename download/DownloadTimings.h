#pragma once
// The engine's two deliberate pauses. The product always uses the values
// below; tests shorten them so that retries and worker passes run quickly.
#include <windows.h>

struct DownloadTimings {
    // Between two attempts of a failing request (and after the last one).
    DWORD retryPauseMs = 5000;
    // Before a worker takes each segment; bounds every worker's request rate.
    DWORD segmentPauseMs = 100;
};

const DownloadTimings& GetDownloadTimings();
// For tests only: set before any worker runs.
void OverrideDownloadTimingsForTesting(const DownloadTimings& timings);
