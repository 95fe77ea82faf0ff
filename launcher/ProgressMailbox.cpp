#include "launcher/ProgressMailbox.h"

bool ProgressMailbox::Push(ResourceManagerProgressState state, const ResourceManagerProgressInfoBase* record) {
    std::unique_ptr<ResourceManagerProgressInfoBase> copy(record ? record->Clone() : nullptr);
    ScopedLock hold(lock_);
    bool counters = state == DownloadProgress || state == VerifyProgress;
    if (counters && !reports_.empty() && reports_.back().first == state) {
        reports_.back().second = std::move(copy);  // only the latest counters matter
    } else {
        reports_.emplace_back(state, std::move(copy));
    }
    if (wakePending_) return false;
    wakePending_ = true;
    return true;
}

void ProgressMailbox::WakeFailed() {
    ScopedLock hold(lock_);
    wakePending_ = false;
}

bool ProgressMailbox::TakeNext(Report* out) {
    ScopedLock hold(lock_);
    if (reports_.empty()) {
        wakePending_ = false;
        return false;
    }
    *out = std::move(reports_.front());
    reports_.pop_front();
    return true;
}
