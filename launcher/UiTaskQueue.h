#pragma once
// The one way from other threads to the user-interface thread: work items
// (closures) wait here in order, and the window is woken by one posted
// WM_UPDATE_PROGRESS at a time to run every waiting one on its own thread. A
// work item posted with a merge key replaces a waiting item of the same key
// at the end of the queue, so a fast download's counters cannot flood the
// window; a refused wake-up loses nothing: the items stay until the next
// wake-up or the next take.
#include <cstdint>
#include <deque>
#include <functional>
#include <utility>

#include "afx/ScopedWin.h"

class UiTaskQueue {
public:
    using Task = std::function<void()>;

    // Any thread. mergeKey 0: never merged. True when the caller is to post the
    // wake-up message (none is waiting yet).
    bool Post(Task task, int32_t mergeKey = 0);
    // The wake-up could not be posted: the next Post posts again.
    void WakeFailed();
    // The oldest waiting item; false when none waits, and then the next Post
    // wakes the window again. The window takes one item at a time, so an item
    // run inside a message box's loop still comes after those before it.
    bool TakeNext(Task* out);

private:
    CriticalSection lock_;
    std::deque<std::pair<int32_t, Task>> tasks_;
    bool wakePending_ = false;
};
