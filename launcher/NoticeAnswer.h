#pragma once
// The notice request's question and the reading of the launcher server's answer.
#include <cstdint>
#include <string>
#include <vector>

enum RequestNoticeResult : int32_t {
    NoticeOk = 1,             // an entry of type "pkg" with a non-empty URL
    NoticeNoAddress = 2,      // parsed, but no usable "pkg" entry
    NoticeParseFailed = 3,    // HTTP 200 but not JSON, or no usable "resdata"
    NoticeRequestFailed = 4,  // not HTTP 200 in the end
};

// The launcher's package name: the server's key for what to answer, and the
// channel its signed lists must name (update/ListSignature.h), so a list
// signed for another package is never taken for this one's.
extern const wchar_t kLauncherPackageName[];

struct NoticeRequestInfo {
    std::wstring deviceId;
    std::wstring language;
    std::wstring packageName;
    std::wstring version;
};

// The record the launcher sends: its device, "0", the package name and its
// own file version ("%d.%d.%d.%d" of modulePath, 0.0.0.0 without one).
NoticeRequestInfo MakeNoticeRequestInfo(const std::wstring& deviceId, const std::wstring& modulePath);
// The one-line JSON body, with the given seconds since 1970 as "t".
std::wstring FormatNoticeBody(const NoticeRequestInfo& info, int64_t now);
// The outcome of an answer: resultCode is the request's result (200 on success).
// *listUrls gets the CDN list URL of every "pkg" entry: the last entry's first
// (the primary, the one launchers have always taken), then the others in the
// answer's order (mirrors of the same release), each once.
RequestNoticeResult ParseNoticeAnswer(const std::string& body, int32_t resultCode, std::vector<std::wstring>* listUrls);

