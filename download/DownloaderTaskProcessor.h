#pragma once
// What a dispatcher's user implements: it makes a processor for every file,
// hears every file's outcome (both on worker threads, possibly several at
// once) and hears when the last running worker has ended.
#include "download/DownloadDataProcessor.h"
#include "download/DownloadTaskInfo.h"

class DownloaderTaskProcessor {
public:
    // The processor that receives the file's bytes, or null to leave the file
    // out. It stays owned by the implementer; the engine never destroys it.
    virtual DownloadDataProcessor* CreateProcessor(const DownloadTaskInfo& info) = 0;
    // The outcome of one file.
    virtual void OnTaskResult(const DownloadTaskResultInfo& result) = 0;
    // The last running worker has ended; called on that worker without the
    // dispatcher's lock, so AddTasks, StopAll and ClearPending may be called here.
    virtual void OnAllTasksFinished() = 0;

protected:
    // Never destroyed through this interface.
    ~DownloaderTaskProcessor() = default;
};
