#pragma once
// The arithmetic of a download speed limit, free of clocks and threads: bytes
// may be read as the bucket fills at the limit's rate, and a read never asks
// for more than the bucket holds. The caller passes the time (milliseconds of
// any steady clock), so tests drive it with a clock of their own.
#include <cstdint>

class TokenBucket {
public:
    // bytesPerSecond 0: no limit; every request is granted whole.
    explicit TokenBucket(uint64_t bytesPerSecond = 0) { SetRate(bytesPerSecond, 0); }

    // A new limit takes effect at once; the bucket starts full at its new size.
    void SetRate(uint64_t bytesPerSecond, uint64_t nowMs);
    uint64_t Rate() const { return rate_; }
    // The most one read may ask for: a tenth of a second at the rate (at least
    // 1 KiB, so a read is never a few bytes).
    uint32_t Capacity() const { return capacity_; }

    // How many of wanted bytes may be read now (0: none yet, and *waitMs says
    // when to ask again). What is granted is taken from the bucket.
    uint32_t Take(uint32_t wanted, uint64_t nowMs, uint32_t* waitMs);
    // Bytes granted but not read (the read brought fewer) go back.
    void Refund(uint32_t bytes);

private:
    void Refill(uint64_t nowMs);

    uint64_t rate_ = 0;
    uint32_t capacity_ = 0;
    // Held in thousandths of a byte, so that any number of milliseconds at any
    // rate adds an exact amount and nothing is lost to rounding.
    uint64_t milliBytes_ = 0;
    uint64_t lastMs_ = 0;
};
