#pragma once
// One speed limit shared by every worker of a download: a single token bucket
// in front of all their reads, so the workers together keep to the limit
// (three workers never get the limit each). A read waits here until the bucket
// allows some bytes and then asks for no more than it allows; the server is
// slowed by TCP's own flow control. Any thread.
#include <windows.h>
#include <cstdint>
#include <functional>

#include "afx/ScopedWin.h"
#include "download/TokenBucket.h"

class DownloadRateLimit {
public:
    // Milliseconds of a steady clock; tests give one of their own.
    using Clock = std::function<uint64_t()>;
    DownloadRateLimit();
    explicit DownloadRateLimit(Clock clock) : clock_(std::move(clock)) {}
    DownloadRateLimit(const DownloadRateLimit&) = delete;
    DownloadRateLimit& operator=(const DownloadRateLimit&) = delete;

    // 0: no limit. Takes effect for the reads under way at once.
    void SetBytesPerSecond(uint64_t bytesPerSecond);
    uint64_t BytesPerSecond();

    // The number of bytes (1 to wanted) the caller may read now, after waiting
    // as long as the limit needs; 0 when cancel (an event, may be null) was
    // signalled meanwhile. Unlimited: wanted at once.
    uint32_t Acquire(uint32_t wanted, HANDLE cancel);
    // Granted bytes the read did not bring.
    void Refund(uint32_t bytes);
    // One attempt without waiting: what may be read now; *waitMs how long until
    // some may when that is 0.
    uint32_t TryAcquire(uint32_t wanted, uint32_t* waitMs);

private:
    Clock clock_;
    CriticalSection lock_;
    TokenBucket bucket_;
};
