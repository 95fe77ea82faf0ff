#include "download/DownloadTimings.h"

namespace {
DownloadTimings g_timings;
}

const DownloadTimings& GetDownloadTimings() { return g_timings; }

void OverrideDownloadTimingsForTesting(const DownloadTimings& timings) { g_timings = timings; }
