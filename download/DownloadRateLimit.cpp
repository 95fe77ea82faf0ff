#include "download/DownloadRateLimit.h"

DownloadRateLimit::DownloadRateLimit() : clock_([] { return static_cast<uint64_t>(::GetTickCount64()); }) {}

void DownloadRateLimit::SetBytesPerSecond(uint64_t bytesPerSecond) {
    ScopedLock hold(lock_);
    bucket_.SetRate(bytesPerSecond, clock_());
}

uint64_t DownloadRateLimit::BytesPerSecond() {
    ScopedLock hold(lock_);
    return bucket_.Rate();
}

uint32_t DownloadRateLimit::TryAcquire(uint32_t wanted, uint32_t* waitMs) {
    ScopedLock hold(lock_);
    return bucket_.Take(wanted, clock_(), waitMs);
}

uint32_t DownloadRateLimit::Acquire(uint32_t wanted, HANDLE cancel) {
    for (;;) {
        uint32_t waitMs = 0;
        uint32_t granted = TryAcquire(wanted, &waitMs);
        if (granted > 0 || wanted == 0) return granted;
        // The lock is not held while waiting: the other workers take their
        // share meanwhile, and a new limit reaches this reader at its next try.
        if (cancel) {
            if (::WaitForSingleObject(cancel, waitMs) != WAIT_TIMEOUT) return 0;
        } else {
            ::Sleep(waitMs);
        }
    }
}

void DownloadRateLimit::Refund(uint32_t bytes) {
    ScopedLock hold(lock_);
    bucket_.Refund(bytes);
}
