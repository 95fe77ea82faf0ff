#pragma once
// One reusable download worker: a Win32 thread that keeps taking segments
// through fetchSegment, fetches each with its HttpClient and reports every file
// through onResult, until there is no segment left or it is stopped. Run by
// DownloaderTaskDispatcher (several tasks) or AsyncHttpRequest (one task).
#include <windows.h>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "afx/ScopedWin.h"
#include "afx/WinThread.h"
#include "download/CustomInstanceID.h"
#include "download/DownloadDataProcessor.h"
#include "download/DownloadRateLimit.h"
#include "download/DownloadTaskInfo.h"
#include "download/HostRouter.h"
#include "download/HttpClient.h"

class DownloaderTask : public CCustomInstanceID {
public:
    DownloaderTask() = default;
    // Stops the worker and waits for its thread to end. Never from the worker itself.
    ~DownloaderTask() override;

    // Starts a worker thread for the task, or keeps the one that runs (also when
    // that one is just ending: it then goes on taking segments). Nonzero when a
    // worker runs for the task afterwards; 0 without fetchSegment or when the
    // thread could not be made.
    int32_t Start();
    // Clears running and cancels the request under way; the worker ends after
    // its current segment. Any thread.
    void Stop();
    // Started and not stopped since.
    bool IsRunning() const { return running == 1; }
    // Waits until the worker thread has ended. Not from the worker itself.
    void Join();

    HttpMethod requestMethod = kHttpGet;
    // Fills the record with the next segment and gives nonzero; 0 when none.
    std::function<int32_t(SegmentDownloadTaskInfo*)> fetchSegment;
    // The worker is about to end (the task may be started again from inside).
    std::function<void(DownloaderTask*)> onFinished;
    // The processors of a segment's files, one per file in file order (null
    // leaves a file out), asked once per segment. Not owned.
    std::function<std::vector<DownloadDataProcessor*>(const SegmentDownloadTaskInfo&)> createProcessors;
    std::function<void(const DownloadTaskResultInfo&)> onResult;
    // Takes back a segment the worker did not finish (it was cancelled, or
    // taken just as the worker was stopped): the files not yet kept, from the
    // first of them. Each of them is reported as kDownloadRequeued first. Unset:
    // such a segment's files are reported as cancelled.
    std::function<void(const SegmentDownloadTaskInfo&)> returnSegment;
    // Shared by the workers of one download (not owned); null: no speed limit.
    DownloadRateLimit* rateLimit = nullptr;
    // The CDN hosts of the download (not owned); null or one host: every
    // request goes to its own URL, with the engine's attempts.
    HostRouter* hosts = nullptr;
    int32_t attempts = 10;
    int32_t useJsonBody = 0;
    // Passed to the client (HttpClient::chunkedWholeAnswers) when it is made.
    bool chunkedWholeAnswers = false;

private:
    static UINT ThreadMain(LPVOID param);
    void Run();
    // Fetches one segment and reports a result for each of its files.
    void RunSegment(const SegmentDownloadTaskInfo& segment);
    // Makes the segment's processors (one per file, null where none) and runs
    // the request; *requested tells whether a request was made, *cause why it failed.
    int32_t FetchSegment(const SegmentDownloadTaskInfo& segment, std::vector<DownloadDataProcessor*>* processors,
                         bool* requested, FailureCause* cause, std::wstring* url);
    // Runs the request on the hosts in turn: each untried host gets one
    // attempt and a short stall window while another is left, the last one
    // the engine's attempts; the next host is asked only for the files not
    // yet kept. processors: one per file, as FetchSegment made them. *url:
    // the URL asked last.
    int32_t FetchFromHosts(const SegmentDownloadTaskInfo& segment,
                           const std::vector<DownloadDataProcessor*>& processors, FailureCause* cause,
                           std::wstring* url);
    // A cancelled segment: its kept files are reported as done, the others go
    // back to the queue. False without returnSegment.
    bool GiveBack(const SegmentDownloadTaskInfo& segment, const std::vector<DownloadDataProcessor*>& processors);
    // Under lifeLock_: true when a Start asked the ending worker to go on.
    bool TakeRestart();

    CWinThread thread;
    volatile LONG running = 0;
    std::unique_ptr<HttpClient> httpClient;

    // Separates a worker's decision to end from a new Start: Start and the
    // ending worker both take it, so a Start either keeps the worker going
    // (restart_) or finds it gone and makes a new thread.
    CriticalSection lifeLock_;
    bool threadActive_ = false;  // a worker thread has been started and not yet given up
    bool restart_ = false;       // a Start arrived while the worker was running or ending
};
