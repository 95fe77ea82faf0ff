#include "download/DownloaderTask.h"

#include <new>
#include <vector>

#include "download/DownloadTimings.h"
#include "download/HostRouter.h"
#include "download/SegmentDownloadDataProcessor.h"
#include "util/DebugTrace.h"
#include "util/TextEncoding.h"

namespace {

// The bytes a segment asks for, as the trace shows them after its URL: a
// package's offsets pass 4 GiB, and the trace must show them whole.
std::wstring RangeTrace(const SegmentDownloadTaskInfo& segment) {
    if (segment.rangeStart < 0 || segment.length == 0) return std::wstring();
    return L"\tbytes=" + std::to_wstring(segment.rangeStart) + L"-" +
           std::to_wstring(segment.rangeStart + static_cast<int64_t>(segment.length) - 1);
}

// How many files at the segment's front are kept: the files arrive in offset
// order, so those kept form the front.
size_t KeptFront(const SegmentDownloadTaskInfo& segment, const std::vector<DownloadDataProcessor*>& processors) {
    size_t kept = 0;
    while (kept < segment.files.size() && processors[kept] && processors[kept]->IsKept()) ++kept;
    return kept;
}

// The segment without its first kept files: the request for the rest starts
// at the first file not kept.
SegmentDownloadTaskInfo RestOf(const SegmentDownloadTaskInfo& segment, size_t kept) {
    SegmentDownloadTaskInfo rest;
    rest.url = segment.url;
    rest.postData = segment.postData;
    rest.rangeStart = segment.rangeStart;
    rest.finishByTick = segment.finishByTick;
    for (size_t i = kept; i < segment.files.size(); ++i) {
        const DownloadTaskInfo& file = segment.files[i];
        if (rest.files.empty()) {
            if (segment.rangeStart >= 0) rest.rangeStart = file.offset;
            rest.length = 0;
        }
        rest.files.push_back(file);
        rest.length += file.size;
    }
    if (segment.rangeStart < 0) rest.length = segment.length;
    return rest;
}

}  // namespace

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
            if (!fetchSegment(&segment)) break;
            if (running < 1) {
                // Taken just as the task was being stopped: it goes back whole.
                GiveBack(segment, std::vector<DownloadDataProcessor*>(segment.files.size(), nullptr));
                break;
            }
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
    FailureCause cause;
    std::vector<DownloadDataProcessor*> processors;
    std::wstring url = segment.url;
    try {
        result = FetchSegment(segment, &processors, &requested, &cause, &url);
        if (result == kDownloadCancelled && GiveBack(segment, processors)) return;
    } catch (const std::bad_alloc&) {
        // Memory ran out outside a file's own work (making a processor, the
        // request): the segment fails like a failed transfer and every file of
        // it is reported, so the batch ends; the process lives on.
        DebugTrace(L"内存不足\t" + segment.url);
        result = kDownloadFailed;
        requested = true;
    }
    for (const DownloadTaskInfo& file : segment.files) {
        if (onResult) onResult(DownloadTaskResultInfo(file, result, cause));
    }
    if (!requested) return;
    if (result == kDownloadOk) {
        DebugTrace(L"下载成功\t" + url + RangeTrace(segment));
    } else {
        DebugTrace(L"下载失败\t" + url + RangeTrace(segment) + L"\t错误代码:" + IntToText(result));
    }
}

int32_t DownloaderTask::FetchSegment(const SegmentDownloadTaskInfo& segment,
                                     std::vector<DownloadDataProcessor*>* processors, bool* requested,
                                     FailureCause* cause, std::wstring* url) {
    if (createProcessors) *processors = createProcessors(segment);
    processors->resize(segment.files.size(), nullptr);
    std::vector<DownloadDataProcessor*> used;
    for (DownloadDataProcessor* p : *processors) {
        if (p) used.push_back(p);
    }
    if (used.empty()) return kDownloadNothingRequested;
    *requested = true;
    httpClient->rateLimit = rateLimit;
    if (hosts && hosts->Count() > 1) return FetchFromHosts(segment, *processors, cause, url);
    SegmentDownloadDataProcessor segmentProcessor(segment, used);
    httpClient->attempts = attempts;
    httpClient->stallWindowMs = 0;  // the engine's, also after a run with several hosts
    return httpClient->Execute(segment.url, &segmentProcessor, requestMethod, segment.postData, segment.rangeStart,
                               segment.length, segment.finishByTick, cause);
}

int32_t DownloaderTask::FetchFromHosts(const SegmentDownloadTaskInfo& segment,
                                       const std::vector<DownloadDataProcessor*>& processors, FailureCause* cause,
                                       std::wstring* url) {
    uint32_t tried = 0;
    int32_t result = kDownloadFailed;
    // What is left to fetch: after a host failed, the files it delivered
    // whole and verified are not asked for again.
    SegmentDownloadTaskInfo part = segment;
    std::vector<DownloadDataProcessor*> partProcessors = processors;
    for (;;) {
        std::vector<DownloadDataProcessor*> used;
        for (DownloadDataProcessor* p : partProcessors) {
            if (p) used.push_back(p);
        }
        SegmentDownloadDataProcessor processor(part, used);
        // A whole resource (a list, a statement, an index) goes to the hosts in
        // their order: a list and its statement come from the same host while
        // it works, never from two hosts that may hold different releases.
        // Package ranges go to the fastest host.
        const size_t host = hosts->Pick(tried, part.rangeStart < 0);
        if (host == HostHealth::kNone) return result;  // the hosts were replaced meanwhile
        tried |= 1u << host;
        const bool last = !hosts->Untried(tried);
        // While another host could serve the request, one that fails it (or
        // keeps it waiting) costs one short attempt, not the engine's ten
        // with their pauses.
        httpClient->attempts = last ? attempts : 1;
        httpClient->stallWindowMs = last ? 0 : GetDownloadTimings().hostSwitchWindowMs;
        *url = hosts->UrlOn(part.url, host);
        const uint64_t began = ::GetTickCount64();
        hosts->RequestStarted(host);
        result = httpClient->Execute(*url, &processor, requestMethod, part.postData, part.rangeStart, part.length,
                                     part.finishByTick, cause);
        hosts->RequestEnded(host);
        if (result == kDownloadOk) {
            hosts->Delivered(host, part.length, ::GetTickCount64() - began);
            return result;
        }
        // Bytes from any host are kept only once they verify, so the request
        // may go on elsewhere; a refusal of this machine's (the disk) or a
        // cancel ends it here, as with one host.
        if (last || result == kDownloadCancelled || result == kDownloadBeginRefused ||
            !HostRouter::IsHostFault(*cause)) {
            return result;
        }
        hosts->Failed(host);
        DebugTrace(L"更换CDN\t" + *url + RangeTrace(part) + L"\t" + FailureKindName(cause->kind) + L"\t" +
                   IntToText(cause->code));
        const size_t kept = KeptFront(part, partProcessors);
        if (kept == part.files.size()) return kDownloadOk;  // every file arrived before the host failed
        if (kept > 0) {
            part = RestOf(part, kept);
            partProcessors.erase(partProcessors.begin(), partProcessors.begin() + static_cast<ptrdiff_t>(kept));
        }
    }
}

bool DownloaderTask::GiveBack(const SegmentDownloadTaskInfo& segment,
                              const std::vector<DownloadDataProcessor*>& processors) {
    if (!returnSegment) return false;
    // The files lie in offset order and arrive in that order: those kept form
    // the front, and the rest is fetched again from the first file not kept.
    const size_t kept = KeptFront(segment, processors);
    for (size_t i = 0; i < kept; ++i) {
        if (onResult) onResult(DownloadTaskResultInfo(segment.files[i], kDownloadOk));
    }
    SegmentDownloadTaskInfo rest = RestOf(segment, kept);
    if (rest.files.empty()) return true;
    // The owner lets go of the files' processors before anyone can take the
    // segment again.
    for (const DownloadTaskInfo& file : rest.files) {
        if (onResult) onResult(DownloadTaskResultInfo(file, kDownloadRequeued));
    }
    DebugTrace(L"下载中断，放回队列\t" + segment.url + RangeTrace(segment));
    returnSegment(rest);
    return true;
}
