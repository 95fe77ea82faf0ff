#pragma once
// The resource update's own time limits. The product always uses the values
// below; tests shorten them, as they do the engine's (download/DownloadTimings.h).
#include <windows.h>

struct UpdateTimings {
    // The content index and its statement together: one attempt each, and no
    // more than this from asking for the index to having both. The index only
    // saves bytes; without it the update goes on with whole files.
    DWORD contentIndexLimitMs = 4000;
    // Cutting and hashing installed files for chunks shows its progress once it
    // has taken this long, so a small update shows no flash of it.
    DWORD checkProgressAfterMs = 1000;
};

const UpdateTimings& GetUpdateTimings();
// For tests only: set before any update runs.
void OverrideUpdateTimingsForTesting(const UpdateTimings& timings);
