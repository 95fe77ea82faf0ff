#include "launcher/ProgressMailbox.h"

bool ProgressMailbox::Push(ResourceManagerProgressState state, const ResourceManagerProgressInfoBase* record) {
    std::unique_ptr<ResourceManagerProgressInfoBase> copy(record ? record->Clone() : nullptr);
    ScopedLock hold(lock_);
    if (state == DownloadProgress && !reports_.empty() && reports_.back().first == DownloadProgress) {
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

std::vector<ProgressMailbox::Report> ProgressMailbox::Drain() {
    ScopedLock hold(lock_);
    std::vector<Report> out;
    out.reserve(reports_.size());
    for (auto& report : reports_) out.push_back(std::move(report));
    reports_.clear();
    wakePending_ = false;
    return out;
}
