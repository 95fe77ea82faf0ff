#include "update/ReceivedBytes.h"

void ReceivedBytes::Add(uint32_t count) {
    written += static_cast<int32_t>(count);
    if (written <= maxWritten) return;
    int64_t delta = static_cast<int64_t>(written) - maxWritten;
    maxWritten = written;
    if (onProgress) onProgress(delta);
}
