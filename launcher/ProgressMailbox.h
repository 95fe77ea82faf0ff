#pragma once
// The one channel from the reporting threads to the user-interface thread.
// Reports wait here in order; the window is woken by one posted
// WM_UPDATE_PROGRESS at a time and takes every waiting report. Consecutive
// DownloadProgress reports collapse into the latest, so a fast download cannot
// flood the window's message queue, and a refused post loses nothing: the
// reports stay until the next wake-up or the next take.
#include <deque>
#include <memory>
#include <utility>

#include "afx/ScopedWin.h"
#include "update/ResourceManagerProgress.h"

class ProgressMailbox {
public:
    using Report = std::pair<ResourceManagerProgressState, std::unique_ptr<ResourceManagerProgressInfoBase>>;

    // Keeps a copy of record (when not null). True when the caller is to post
    // the wake-up message (none is waiting yet).
    bool Push(ResourceManagerProgressState state, const ResourceManagerProgressInfoBase* record);
    // The wake-up could not be posted: the next Push posts again.
    void WakeFailed();
    // The oldest waiting report; false when none waits, and then the next Push
    // wakes the window again. The window takes one report at a time, so a report
    // handled inside a message box's loop still comes after those before it.
    bool TakeNext(Report* out);

private:
    CriticalSection lock_;
    std::deque<Report> reports_;
    bool wakePending_ = false;
};
