#pragma once
// Base of requests whose whole answer is wanted as text. Runs one
// DownloaderTask of its own: the worker makes the request, collects the body
// and hands it to OnResponse, on the worker thread.
#include <cstdint>
#include <memory>
#include <string>

#include "download/DownloadTaskInfo.h"
#include "download/DownloadTextProcessor.h"
#include "download/DownloaderTask.h"

// The parameter record a subclass reads in BuildRequest.
struct AsyncRequestParams {
    virtual ~AsyncRequestParams() = default;
};

class AsyncHttpRequest {
public:
    AsyncHttpRequest() = default;
    // Stops and joins the worker first. A subclass whose OnResponse may still be
    // called must call Shutdown in its own destructor.
    virtual ~AsyncHttpRequest();
    AsyncHttpRequest(const AsyncHttpRequest&) = delete;
    AsyncHttpRequest& operator=(const AsyncHttpRequest&) = delete;

    // Queues one request (taking ownership of params) and makes sure a worker
    // runs for it; exactly one OnResponse follows. Nonzero when a worker runs.
    // Not while the answer of an earlier request is still to come.
    int32_t Request(std::unique_ptr<AsyncRequestParams> params);
    // Stops the worker and waits for its thread; not from the worker itself.
    void Shutdown();

protected:
    virtual void BuildRequest(std::wstring* url, std::wstring* postData) = 0;
    virtual HttpMethod GetRequestMethod() = 0;
    virtual int32_t UseJsonBody() = 0;
    virtual int32_t GetAttempts() = 0;
    // The largest answer taken; a longer one fails the request.
    virtual uint32_t GetMaxAnswerBytes() = 0;
    // body is empty unless resultCode is 200; cause says why a failed request failed.
    virtual void OnResponse(std::string body, int32_t resultCode, const FailureCause& cause) = 0;

    AsyncRequestParams* Params() const { return requestParams.get(); }
    // The worker found no further request and is about to end (worker thread).
    // A Request made from here on is still served.
    virtual void OnWorkerFinished() {}

private:
    int32_t FetchSegment(SegmentDownloadTaskInfo* out);
    DownloadDataProcessor* CreateProcessor(const DownloadTaskInfo& file);
    void OnTaskResult(const DownloadTaskResultInfo& result);

    std::unique_ptr<DownloaderTask> task;
    std::unique_ptr<DownloadTextProcessor> processor;
    volatile LONG requestTaken = 0;
    std::unique_ptr<AsyncRequestParams> requestParams;
};
