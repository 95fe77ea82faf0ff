#include "launcher/NoticeRequest.h"

#include <ctime>

#include "BuildConfig.h"
#include "util/TextEncoding.h"

std::wstring GetLauncherServerUrl() {
    return std::wstring(L"http://") + LAUNCHER_SERVER_HOST_TEXT + L":8000";
}

TKNoticeRequest::~TKNoticeRequest() {
    // OnResponse may still run on the worker: stop it before the callback goes.
    Shutdown();
}

void TKNoticeRequest::BuildRequest(std::wstring* url, std::wstring* postData) {
    *url = GetLauncherServerUrl();
    const auto* params = static_cast<const NoticeRequestParams*>(Params());
    std::wstring body = FormatNoticeBody(params->info, _time64(nullptr));
    TextToUtf8(body.c_str(), postData);
}

void TKNoticeRequest::OnResponse(std::string body, int32_t resultCode, const FailureCause& cause) {
    std::vector<std::wstring> listUrls;
    RequestNoticeResult result = ParseNoticeAnswer(body, resultCode, &listUrls);
    if (resultCallback) resultCallback(listUrls, result, result == NoticeRequestFailed ? cause : FailureCause());
}
