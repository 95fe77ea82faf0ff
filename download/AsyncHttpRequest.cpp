#include "download/AsyncHttpRequest.h"

AsyncHttpRequest::~AsyncHttpRequest() {
    Shutdown();
    processor.reset();
    requestParams.reset();
    task.reset();
}

void AsyncHttpRequest::Shutdown() {
    if (!task) return;
    task->Stop();
    task->Join();
}

int32_t AsyncHttpRequest::Request(std::unique_ptr<AsyncRequestParams> params) {
    requestParams = std::move(params);
    ::InterlockedExchange(&requestTaken, 0);
    if (!task) {
        task.reset(new DownloaderTask());
        task->useJsonBody = UseJsonBody();
        task->requestMethod = GetRequestMethod();
        task->attempts = GetAttempts();
        // A server's own answer, not a CDN file: it may come in chunked framing.
        task->chunkedWholeAnswers = true;
        task->fetchSegment = [this](SegmentDownloadTaskInfo* out) { return FetchSegment(out); };
        task->onFinished = [this](DownloaderTask*) { OnWorkerFinished(); };
        task->createProcessors = [this](const SegmentDownloadTaskInfo& segment) {
            return std::vector<DownloadDataProcessor*>(1, CreateProcessor(segment.files.front()));
        };
        task->onResult = [this](const DownloadTaskResultInfo& result) { OnTaskResult(result); };
    }
    return task->Start();
}

int32_t AsyncHttpRequest::FetchSegment(SegmentDownloadTaskInfo* out) {
    if (::InterlockedExchange(&requestTaken, 1) != 0) return 0;
    std::wstring url;
    std::wstring postData;
    BuildRequest(&url, &postData);
    DownloadTaskInfo file;
    file.url = url;
    file.postData = postData;
    *out = SegmentDownloadTaskInfo(file);
    return 1;
}

DownloadDataProcessor* AsyncHttpRequest::CreateProcessor(const DownloadTaskInfo& file) {
    processor.reset(new DownloadTextProcessor(file, GetMaxAnswerBytes()));
    return processor.get();
}

void AsyncHttpRequest::OnTaskResult(const DownloadTaskResultInfo& result) {
    std::string body;
    if (result.resultCode == kDownloadOk && processor) processor->GetContent(&body);
    OnResponse(body, result.resultCode, result.cause);
    processor.reset();
}
