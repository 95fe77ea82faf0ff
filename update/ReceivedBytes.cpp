#include "update/ReceivedBytes.h"

void ReceivedBytes::Add(uint32_t count) {
    written += count;
    if (written <= maxWritten) return;
    int64_t delta = written - maxWritten;
    maxWritten = written;
    if (onProgress) onProgress(delta);
}
