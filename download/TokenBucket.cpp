#include "download/TokenBucket.h"

#include <algorithm>

namespace {
const uint64_t kMinCapacity = 1024;
// A reader waiting for bytes asks again once this share of the bucket has
// filled: fewer, larger reads than one per kilobyte.
const uint64_t kRefillShare = 4;
}  // namespace

void TokenBucket::SetRate(uint64_t bytesPerSecond, uint64_t nowMs) {
    rate_ = bytesPerSecond;
    capacity_ = rate_ == 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(std::max(kMinCapacity, rate_ / 10), UINT32_MAX));
    milliBytes_ = static_cast<uint64_t>(capacity_) * 1000;
    lastMs_ = nowMs;
}

void TokenBucket::Refill(uint64_t nowMs) {
    if (nowMs <= lastMs_) return;  // a clock that stepped back adds nothing
    const uint64_t full = static_cast<uint64_t>(capacity_) * 1000;
    const uint64_t elapsed = nowMs - lastMs_;
    lastMs_ = nowMs;
    // Past a full bucket's refill time the bucket is full whatever the rate.
    if (elapsed > full / rate_) {
        milliBytes_ = full;
        return;
    }
    milliBytes_ = std::min(full, milliBytes_ + rate_ * elapsed);
}

uint32_t TokenBucket::Take(uint32_t wanted, uint64_t nowMs, uint32_t* waitMs) {
    *waitMs = 0;
    if (rate_ == 0 || wanted == 0) return wanted;
    Refill(nowMs);
    const uint64_t available = milliBytes_ / 1000;
    if (available > 0) {
        uint32_t granted = static_cast<uint32_t>(std::min<uint64_t>(wanted, available));
        milliBytes_ -= static_cast<uint64_t>(granted) * 1000;
        return granted;
    }
    // Empty: wait until a useful read's worth has come in.
    const uint64_t target = std::min<uint64_t>(wanted, std::max<uint64_t>(1, capacity_ / kRefillShare)) * 1000;
    const uint64_t missing = target - milliBytes_;
    *waitMs = static_cast<uint32_t>(std::max<uint64_t>(1, (missing + rate_ - 1) / rate_));
    return 0;
}

void TokenBucket::Refund(uint32_t bytes) {
    if (rate_ == 0) return;
    milliBytes_ = std::min(static_cast<uint64_t>(capacity_) * 1000, milliBytes_ + static_cast<uint64_t>(bytes) * 1000);
}
