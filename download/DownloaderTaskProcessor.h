#pragma once
// What a dispatcher's user implements: it makes the processors of the files
// of every segment a worker takes, hears every file's outcome (both on worker
// threads, possibly several at once) and hears when the last running worker
// has ended.
#include <vector>

#include "download/DownloadDataProcessor.h"
#include "download/DownloadTaskInfo.h"

class DownloaderTaskProcessor {
public:
    // The processors that receive the bytes of the segment's files, one per
    // file in file order; null leaves a file out. Asked once per segment, by
    // the worker that took it, before its request. They stay owned by the
    // implementer; the engine never destroys them.
    virtual std::vector<DownloadDataProcessor*> CreateProcessors(const SegmentDownloadTaskInfo& segment) = 0;
    // The outcome of one file.
    virtual void OnTaskResult(const DownloadTaskResultInfo& result) = 0;
    // The last running worker has ended; called on that worker without the
    // dispatcher's lock, so AddTasks, StopAll and ClearPending may be called here.
    virtual void OnAllTasksFinished() = 0;

protected:
    // Never destroyed through this interface.
    ~DownloaderTaskProcessor() = default;
};
