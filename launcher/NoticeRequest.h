#pragma once
// The notice request: one POST to the launcher server asking where the CDN
// list of this package lives, on its own worker; the outcome goes to a callback
// on that worker.
#include <functional>
#include <string>
#include <vector>

#include "download/AsyncHttpRequest.h"
#include "launcher/NoticeAnswer.h"

// The launcher server: the compiled-in host on port 8000, root path.
std::wstring GetLauncherServerUrl();

struct NoticeRequestParams : AsyncRequestParams {
    explicit NoticeRequestParams(NoticeRequestInfo i) : info(std::move(i)) {}
    NoticeRequestInfo info;
};

class TKNoticeRequest : public AsyncHttpRequest {
public:
    // cause: why the request failed (NoticeRequestFailed), as far as it is known.
    using ResultCallback =
        std::function<void(const std::vector<std::wstring>& listUrls, RequestNoticeResult result, const FailureCause& cause)>;
    ~TKNoticeRequest() override;
    void SetResultCallback(ResultCallback callback) { resultCallback = std::move(callback); }

protected:
    void BuildRequest(std::wstring* url, std::wstring* postData) override;
    HttpMethod GetRequestMethod() override { return kHttpPost; }
    // The body is JSON, but the server expects the form content type.
    int32_t UseJsonBody() override { return 0; }
    int32_t GetAttempts() override { return 5; }
    // A real answer is a few hundred bytes.
    uint32_t GetMaxAnswerBytes() override { return 1024 * 1024; }
    void OnResponse(std::string body, int32_t resultCode, const FailureCause& cause) override;

private:
    ResultCallback resultCallback;
};
