#include "download/DownloaderTask.h"

#include <new>
#include <vector>

#include "download/DownloadTimings.h"
#include "download/SegmentDownloadDataProcessor.h"
#include "util/DebugTrace.h"
#include "util/TextEncoding.h"

DownloaderTask::~DownloaderTask() {
    Stop();
    Join();
}

int32_t DownloaderTask::Start() {
    if (!fetchSegment) return 0;
    ScopedLock hold(lifeLock_);
    if (threadActive_) {
        // The worker has not given up yet (it may be inside onFinished, even on
        // this very thread): it looks at restart_ before it ends and goes on.
        restart_ = true;
        ::InterlockedExchange(&running, 1);
        httpClient->ResetCancel();  // a Stop before this Start is over
        return 1;
    }
    // A previous worker has given up under lifeLock_; all it still does is its
    // exit trace, so this wait is short.
    thread.Join();
    ::InterlockedExchange(&running, 1);
    if (!httpClient) {
        httpClient.reset(new HttpClient());
        httpClient->SetFormHeaders();
        if (useJsonBody) httpClient->SetJsonHeaders();
        httpClient->chunkedWholeAnswers = chunkedWholeAnswers;
    }
    // A Stop cancels the client until the next Start, so it also reaches a
    // request the worker is just about to make.
    httpClient->ResetCancel();
    if (!thread.Begin(&DownloaderTask::ThreadMain, this)) {
        ::InterlockedExchange(&running, 0);
        return 0;
    }
    threadActive_ = true;
    restart_ = false;
    DebugTrace(L"启动下载线程\t" + IntToText(static_cast<int32_t>(thread.ThreadId())));
    return 1;
}

void DownloaderTask::Stop() {
    ::InterlockedExchange(&running, 0);
    if (httpClient) httpClient->Cancel();
}

void DownloaderTask::Join() { thread.Join(); }

UINT DownloaderTask::ThreadMain(LPVOID param) {
    static_cast<DownloaderTask*>(param)->Run();
    return 0;
}

bool DownloaderTask::TakeRestart() {
    // Also when stopped since: the started task counts as running for whoever
    // started it, so it has to pass through onFinished once more before it ends.
    bool restart = restart_;
    restart_ = false;
    return restart;
}

void DownloaderTask::Run() {
    for (;;) {
        while (running == 1) {
            ::Sleep(GetDownloadTimings().segmentPauseMs);
            SegmentDownloadTaskInfo segment;
            // A segment taken while the task was being stopped is dropped unreported.
            if (!fetchSegment(&segment) || running < 1) break;
            RunSegment(segment);
        }
        if (onFinished) onFinished(this);
        {
            // A Start since our last pass (from inside onFinished, even on this
            // thread, or a request queued just after fetchSegment gave 0) has
            // work we did not see: go on instead of ending.
            ScopedLock hold(lifeLock_);
            if (TakeRestart()) continue;
            threadActive_ = false;
            ::InterlockedExchange(&running, 0);
        }
        break;
    }
    DebugTrace(L"下载线程退出\t" + IntToText(static_cast<int32_t>(::GetCurrentThreadId())));
}

void DownloaderTask::RunSegment(const SegmentDownloadTaskInfo& segment) {
    bool requested = false;
    int32_t result = kDownloadNothingRequested;
    try {
        result = FetchSegment(segment, &requested);
    } catch (const std::bad_alloc&) {
        // Memory ran out outside a file's own work (making a processor, the
        // request): the segment fails like a failed transfer and every file of
        // it is reported, so the batch ends; the process lives on.
        DebugTrace(L"内存不足\t" + segment.url);
        result = kDownloadFailed;
        requested = true;
    }
    for (const DownloadTaskInfo& file : segment.files) {
        if (onResult) onResult(DownloadTaskResultInfo(file, result));
    }
    if (!requested) return;
    if (result == kDownloadOk) {
        DebugTrace(L"下载成功\t" + segment.url);
    } else {
        DebugTrace(L"下载失败\t" + segment.url + L"\t错误代码:" + IntToText(result));
    }
}

int32_t DownloaderTask::FetchSegment(const SegmentDownloadTaskInfo& segment, bool* requested) {
    std::vector<DownloadDataProcessor*> processors;
    for (const DownloadTaskInfo& file : segment.files) {
        DownloadDataProcessor* p = createProcessor ? createProcessor(file) : nullptr;
        if (p) processors.push_back(p);
    }
    if (processors.empty()) return kDownloadNothingRequested;
    *requested = true;
    SegmentDownloadDataProcessor segmentProcessor(segment, processors);
    httpClient->attempts = attempts;
    return httpClient->Execute(segment.url, &segmentProcessor, requestMethod, segment.postData, segment.rangeStart,
                               segment.length);
}
