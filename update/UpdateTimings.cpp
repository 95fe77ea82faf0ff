#include "update/UpdateTimings.h"

namespace {
UpdateTimings g_timings;
}

const UpdateTimings& GetUpdateTimings() { return g_timings; }

void OverrideUpdateTimingsForTesting(const UpdateTimings& timings) { g_timings = timings; }
