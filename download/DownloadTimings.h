#pragma once
// The engine's deliberate pauses and its stall window. The product always
// uses the values below; tests shorten them so that retries, worker passes and
// stalls run quickly.
#include <windows.h>

struct DownloadTimings {
    // Between two attempts of a failing request (and after the last one).
    DWORD retryPauseMs = 5000;
    // Before a worker takes each segment; bounds every worker's request rate.
    DWORD segmentPauseMs = 100;
    // A transfer that averages under 1 KiB/s over a window this long (or gets
    // no answer within it) fails its attempt, as a time-out would.
    DWORD stallWindowMs = 60000;
    // The stall window of a request while another CDN host could serve it
    // instead: a host that does not answer, or crawls, costs this once.
    DWORD hostSwitchWindowMs = 10000;
};

const DownloadTimings& GetDownloadTimings();
// For tests only: set before any worker runs.
void OverrideDownloadTimingsForTesting(const DownloadTimings& timings);
