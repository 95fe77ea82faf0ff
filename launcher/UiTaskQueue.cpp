#include "launcher/UiTaskQueue.h"

bool UiTaskQueue::Post(Task task, int32_t mergeKey) {
    ScopedLock hold(lock_);
    if (mergeKey != 0 && !tasks_.empty() && tasks_.back().first == mergeKey) {
        tasks_.back().second = std::move(task);  // only the latest matters
    } else {
        tasks_.emplace_back(mergeKey, std::move(task));
    }
    if (wakePending_) return false;
    wakePending_ = true;
    return true;
}

void UiTaskQueue::WakeFailed() {
    ScopedLock hold(lock_);
    wakePending_ = false;
}

bool UiTaskQueue::TakeNext(Task* out) {
    ScopedLock hold(lock_);
    if (tasks_.empty()) {
        wakePending_ = false;
        return false;
    }
    *out = std::move(tasks_.front().second);
    tasks_.pop_front();
    return true;
}
