#pragma once
// Turns a list of files into a queue of ranged requests and runs them on at
// most maxThreads worker threads. Files that lie back to back in one remote
// resource (same url and postData) share one request of up to about 10 MiB.
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/DownloadTaskInfo.h"
#include "download/DownloaderTask.h"
#include "download/DownloaderTaskProcessor.h"
#include "download/HostRouter.h"

class DownloaderTaskDispatcher {
public:
    DownloaderTaskDispatcher() = default;
    // Shutdown.
    ~DownloaderTaskDispatcher();
    DownloaderTaskDispatcher(const DownloaderTaskDispatcher&) = delete;
    DownloaderTaskDispatcher& operator=(const DownloaderTaskDispatcher&) = delete;

    // Sorts files in place by offset, queues them as segments and starts
    // workers as needed (a worker that cannot be started is traced; the running
    // ones take its segments).
    void AddTasks(std::vector<DownloadTaskInfo>& files);
    // Cancels the requests under way and makes every worker end after its
    // current segment; the queue stays as it is, and the files a cancelled
    // segment had not kept go back to its front.
    void StopAll();
    // Stops the workers like StopAll and hands out no segment until Resume:
    // the download stands still with its queue whole. The owner hears
    // OnAllTasksFinished once the last worker has ended.
    void Pause();
    // Starts workers for the queue again (also ones still ending from the pause).
    void Resume();
    // How many workers run at most from the next start of workers on.
    void SetMaxThreads(int32_t count);
    // Drops every queued segment.
    void ClearPending();
    // Clears the queue, stops the workers and waits for their threads; no
    // worker starts again. The owner must still be alive: the ending workers
    // report to it.
    void Shutdown();
    // True when no worker runs: none takes a segment until workers are started
    // again. The last one to end has told the owner, or is about to.
    bool IsIdle();

    // The grouping AddTasks uses: sorts files by offset and packs touching files
    // of one url and postData into segments, key by key in ordinal key order.
    static std::vector<SegmentDownloadTaskInfo> GroupIntoSegments(std::vector<DownloadTaskInfo>& files);

    // Set by the user right after construction.
    DownloaderTaskProcessor* owner = nullptr;
    int32_t maxThreads = 1;  // later changes through SetMaxThreads
    // One limit for all the workers together (not owned); null: none.
    DownloadRateLimit* rateLimit = nullptr;
    // The CDN hosts every request may go to (HostRouter::Reset, between runs).
    HostRouter hosts;

private:
    void StartWorkers();
    int32_t FetchSegment(SegmentDownloadTaskInfo* out);
    void ReturnSegment(const SegmentDownloadTaskInfo& segment);
    void OnWorkerFinished(DownloaderTask* task);
    std::unique_ptr<DownloaderTask> NewTask();

    std::deque<SegmentDownloadTaskInfo> pendingSegments;
    std::vector<std::unique_ptr<DownloaderTask>> idleTasks;
    std::vector<std::unique_ptr<DownloaderTask>> runningTasks;
    // Never held while the owner is called.
    CriticalSection lock;
    bool shuttingDown_ = false;
    bool paused_ = false;
    bool keepEndingWorkers_ = false;  // since a Resume: a worker the pause stopped goes on
};
