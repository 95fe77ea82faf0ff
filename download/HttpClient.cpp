#include "download/HttpClient.h"

#include <wininet.h>
#include <algorithm>
#include <cwchar>

#include "download/DownloadRateLimit.h"
#include "download/DownloadTimings.h"
#include "download/InternetRequest.h"
#include "util/DebugTrace.h"
#include "util/TextEncoding.h"

namespace {

const wchar_t kAcceptLine[] = L"Accept: */*";
const wchar_t kUserAgentLine[] =
    L"User-Agent:Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    L"Chrome/45.0.2454.101 Safari/537.36";
const wchar_t kFormTypeLine[] = L"Content-Type:application/x-www-form-urlencoded;charset=UTF-8";
const wchar_t kJsonTypeLine[] = L"Content-Type:application/json;charset=UTF-8";
// Followed by the error code.
const wchar_t kNetworkFailureTrace[] = L"请求网络数据失败\t";

// Processors, cancellation and progress see the body in pieces of this size.
const uint32_t kPieceSize = 1024;
// A transfer slower than this, on average over a stall window, fails its
// attempt as a time-out would.
const uint64_t kMinBytesPerSecond = 1024;

const DWORD kSendTimeoutMs = 3000;
const DWORD kReceiveTimeoutMs = 30000;
const DWORD kConnectRetries = 5;
// At least the dispatcher's workers must reach one server at once.
const DWORD kConnectionsPerServer = 16;

// WinINet allows 2 connections per server by default, which would make a third
// worker wait for the others. The limit is process-wide and has to be raised
// before the first connection.
// A failure leaves WinINet's limit: slower, never wrong.
void RaiseConnectionLimits() {
    DWORD value = kConnectionsPerServer;
    if (!::InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &value, sizeof(value)) ||
        !::InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &value, sizeof(value))) {
        DebugTrace(L"设置连接数上限失败\t" + IntToText(static_cast<int32_t>(::GetLastError())));
    }
}

void EnsureTransportDefaults() {
    static const bool raised = (RaiseConnectionLimits(), true);
    (void)raised;
}

// Judges a transfer in consecutive windows: a window that brought fewer than
// kMinBytesPerSecond per second of it ends the transfer. A dripping server
// never lets a read time out, so the rate is what tells it from a slow one.
class StallWatch {
public:
    explicit StallWatch(DWORD windowMs) : windowMs_(windowMs), start_(::GetTickCount()) {}
    // Where the current window ends, for the waits inside it.
    DWORD Deadline() const { return start_ + windowMs_; }
    // The most one read should ask for: what a window must bring. A read that
    // asks for more may not complete within a window even when the transfer
    // is fast enough, and its bytes count only once they are all there.
    DWORD MostPerRead() const {
        return static_cast<DWORD>(std::max<uint64_t>(1, kMinBytesPerSecond * windowMs_ / 1000));
    }
    // Counts bytes that arrived; false when a window has ended too slow.
    bool Count(DWORD bytes) {
        bytes_ += bytes;
        DWORD now = ::GetTickCount();
        if (now - start_ < windowMs_) return true;
        if (bytes_ * 1000 < kMinBytesPerSecond * windowMs_) return false;
        start_ = now;
        bytes_ = 0;
        return true;
    }

private:
    DWORD windowMs_;
    DWORD start_;
    uint64_t bytes_ = 0;
};

// Whether the answer comes in chunked framing ("chunked" is the last coding).
bool IsChunked(HINTERNET request) {
    wchar_t coding[128] = {};
    DWORD size = sizeof(coding);
    if (!::HttpQueryInfoW(request, HTTP_QUERY_TRANSFER_ENCODING, coding, &size, nullptr)) return false;
    std::wstring text = coding;
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.pop_back();
    const wchar_t kChunked[] = L"chunked";
    const size_t n = wcslen(kChunked);
    if (text.size() < n || _wcsicmp(text.c_str() + text.size() - n, kChunked) != 0) return false;
    return text.size() == n || text[text.size() - n - 1] == L',' || text[text.size() - n - 1] == L' ';
}

}  // namespace

struct HttpClient::Target {
    std::wstring server;
    uint16_t port = 0;
    std::wstring path;
};

bool SplitRequestUrl(const std::wstring& url, std::wstring* server, uint16_t* port, std::wstring* path) {
    std::wstring slashed = url;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');

    // Browser mode: unsafe characters before "?" or "#" are escaped, dot
    // segments resolved, a URL without a path gets "/".
    DWORD size = static_cast<DWORD>(slashed.size() * 3 + 64);
    std::wstring canonical(size, L'\0');
    if (!::InternetCanonicalizeUrlW(slashed.c_str(), &canonical[0], &size, ICU_BROWSER_MODE)) {
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
        canonical.assign(size + 1, L'\0');
        if (!::InternetCanonicalizeUrlW(slashed.c_str(), &canonical[0], &size, ICU_BROWSER_MODE)) return false;
    }
    canonical.resize(size);

    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = 1;  // nonzero with a null buffer: point into the text
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!::InternetCrackUrlW(canonical.c_str(), 0, 0, &parts)) return false;
    if (!parts.lpszHostName || parts.dwHostNameLength == 0) return false;

    server->assign(parts.lpszHostName, parts.dwHostNameLength);
    *port = parts.nPort;
    path->clear();
    if (parts.lpszUrlPath) path->assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) path->append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path->empty() || (*path)[0] != L'/') path->insert(0, L"/");
    return true;
}

HttpClient::HttpClient() : cancelEvent_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

HttpClient::~HttpClient() {
    headers.clear();
    ::InterlockedExchange(&cancelled_, 0);
}

void HttpClient::SetFormHeaders() {
    headers.clear();
    headers.push_back(kAcceptLine);
    headers.push_back(kUserAgentLine);
    headers.push_back(kFormTypeLine);
}

void HttpClient::SetJsonHeaders() {
    headers.clear();
    headers.push_back(kAcceptLine);
    headers.push_back(kUserAgentLine);
    headers.push_back(kJsonTypeLine);
}

void HttpClient::Cancel() {
    ::InterlockedExchange(&cancelled_, 1);
    if (cancelEvent_) ::SetEvent(cancelEvent_.Get());
}

void HttpClient::ResetCancel() {
    ::InterlockedExchange(&cancelled_, 0);
    if (cancelEvent_) ::ResetEvent(cancelEvent_.Get());
}

bool HttpClient::IsCancelled() const { return cancelled_ != 0; }

std::wstring HttpClient::HeaderBlock(int64_t rangeStart, uint32_t length) const {
    std::wstring block;
    for (const std::wstring& line : headers) block += line + L"\r\n";
    if (rangeStart >= 0) {
        int64_t last = rangeStart + static_cast<int64_t>(length) - 1;
        block += L"Range: bytes=" + std::to_wstring(rangeStart) + L"-" + std::to_wstring(last) + L"\r\n";
    }
    return block;
}

DWORD HttpClient::WaitUntil(DWORD stallDeadline) const {
    if (finishByTick_ == 0) return stallDeadline;
    const ULONGLONG now = ::GetTickCount64();
    const ULONGLONG left = finishByTick_ > now ? finishByTick_ - now : 0;
    const DWORD limit = ::GetTickCount() + static_cast<DWORD>(left < 0x7FFFFFFF ? left : 0x7FFFFFFF);
    // Both are GetTickCount values: the one nearer now comes first.
    return static_cast<LONG>(limit - stallDeadline) < 0 ? limit : stallDeadline;
}

DWORD HttpClient::StallWindow() const {
    return stallWindowMs != 0 ? stallWindowMs : GetDownloadTimings().stallWindowMs;
}

bool HttpClient::LimitPassed() const { return finishByTick_ != 0 && ::GetTickCount64() >= finishByTick_; }

int32_t HttpClient::Execute(const std::wstring& url, DownloadDataProcessor* processor, HttpMethod method,
                            const std::wstring& postData, int64_t rangeStart, uint32_t length,
                            uint64_t finishByTick, FailureCause* cause) {
    FailureCause ignored;
    if (!cause) cause = &ignored;
    *cause = FailureCause();
    int32_t result = kDownloadNothingRequested;
    if (!processor) return result;
    // A cancel that came before the request (even before Execute) stands.
    if (IsCancelled()) return kDownloadCancelled;

    Target target;
    if (!SplitRequestUrl(url, &target.server, &target.port, &target.path)) return result;
    if (rangeStart >= 0 && length == 0) {
        // An empty file on its own: there is nothing to fetch, and its Range
        // line ("bytes=N-(N-1)") is invalid, which servers answer with 416 on
        // every attempt. Its processor sees an empty body.
        result = processor->Begin(0) ? kDownloadOk : kDownloadBeginRefused;
        if (!processor->End() && result == kDownloadOk) result = kDownloadFailed;
        if (result != kDownloadOk) *cause = processor->Failure();
        return result;
    }
    EnsureTransportDefaults();

    std::string body;
    if (method == kHttpPost) {
        body = TextToAnsi(postData);
        size_t zero = body.find('\0');
        if (zero != std::string::npos) body.resize(zero);
    }

    finishByTick_ = finishByTick;
    for (int32_t attempt = 1; attempt <= attempts; ++attempt) {
        result = RunAttempt(target, processor, method, body, rangeStart, length, cause);
        // A processor that cannot end well fails an attempt that went well; a
        // failed one keeps its own code and cause.
        if (!processor->End() && result == kDownloadOk) {
            result = kDownloadFailed;
            *cause = processor->Failure();
        }
        if (IsCancelled()) return kDownloadCancelled;
        if (result == kDownloadOk || !processor->Retries(result) || LimitPassed()) break;
        // The pause also follows the last attempt, up to the request's limit. A
        // cancel ends it at once and no further attempt is made.
        DWORD pause = GetDownloadTimings().retryPauseMs;
        LONG toLimit = static_cast<LONG>(WaitUntil(::GetTickCount() + pause) - ::GetTickCount());
        ::WaitForSingleObject(cancelEvent_.Get(), toLimit > 0 ? static_cast<DWORD>(toLimit) : 0);
        if (IsCancelled()) return kDownloadCancelled;
        if (LimitPassed()) break;
    }
    return result;
}

int32_t HttpClient::RunAttempt(const Target& target, DownloadDataProcessor* processor, HttpMethod method,
                               const std::string& body, int64_t rangeStart, uint32_t length, FailureCause* cause) {
    *cause = FailureCause();
    if (!cancelEvent_) return kDownloadFailed;
    InternetRequest request(cancelEvent_.Get());
    int32_t result = kDownloadFailed;
    bool networkFailed = true;
    DWORD error = 0;  // why the network failed
    do {
        // TLS follows the port, not the scheme. Packages are large and fetched
        // once, so nothing goes into the WinINet cache.
        DWORD flags = (target.port == INTERNET_DEFAULT_HTTPS_PORT ? INTERNET_FLAG_SECURE
                                                                  : INTERNET_FLAG_EXISTING_CONNECT) |
                      INTERNET_FLAG_NO_CACHE_WRITE;
        if (!request.Open(target.server, target.port, method == kHttpPost ? L"POST" : L"GET", target.path, flags,
                          kSendTimeoutMs, kReceiveTimeoutMs, kConnectRetries)) {
            error = request.Error();
            break;
        }
        // Waiting for the answer counts as the first stall window.
        StallWatch watch(StallWindow());
        InternetRequest::Outcome sent = request.Send(HeaderBlock(rangeStart, length), body, WaitUntil(watch.Deadline()));
        if (sent == InternetRequest::kCancelled) return kDownloadCancelled;
        if (sent != InternetRequest::kDone) {
            error = sent == InternetRequest::kTimedOut ? ERROR_INTERNET_TIMEOUT : request.Error();
            break;
        }
        wchar_t statusText[32] = {};
        DWORD statusSize = sizeof(statusText);
        if (!::HttpQueryInfoW(request.Handle(), HTTP_QUERY_STATUS_CODE, statusText, &statusSize, nullptr)) {
            error = ::GetLastError();
            break;
        }
        int32_t rawStatus = static_cast<int32_t>(std::wcstol(statusText, nullptr, 10));
        networkFailed = false;
        result = rawStatus == 206 ? kDownloadOk : rawStatus;
        if (result == kDownloadOk) {
            result = ReadBody(&request, processor, rawStatus, rangeStart, length, &error);
            networkFailed = result == kDownloadFailed;
            if (result == kDownloadWriteRefused || result == kDownloadBeginRefused) *cause = processor->Failure();
        } else {
            *cause = FailureCause(FailureKind::ServerAnswer, rawStatus);
        }
    } while (false);
    if (networkFailed) {
        DebugTrace(kNetworkFailureTrace + IntToText(static_cast<int32_t>(error)));
        result = kDownloadFailed;
        *cause = NetworkFailure(error);
    }
    return result;
}

int32_t HttpClient::ReadBody(InternetRequest* request, DownloadDataProcessor* processor, int32_t rawStatus,
                             int64_t rangeStart, uint32_t length, DWORD* error) {
    DWORD contentLength = 0;
    DWORD lengthSize = sizeof(contentLength);
    bool haveLength = ::HttpQueryInfoW(request->Handle(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                       &contentLength, &lengthSize, nullptr) != FALSE;
    if (!haveLength) contentLength = 0;
    const bool ranged = rangeStart >= 0;
    // A whole resource (a list, its statement, the notice answer) is taken only
    // when it arrived whole: with a length that the body then meets, or, where
    // allowed, in chunked framing. A body without either ends when the
    // connection closes, which is also how a cut one ends; and a 206 to a
    // request without Range is a part of something.
    if (!ranged && (rawStatus == 206 ||
                    (!haveLength && !(chunkedWholeAnswers && IsChunked(request->Handle()))))) {
        *error = ERROR_HTTP_INVALID_SERVER_RESPONSE;
        return kDownloadFailed;
    }
    if (!processor->Begin(contentLength)) return kDownloadBeginRefused;

    // Only the requested bytes are ever delivered. A server that ignores the
    // Range line answers 200 with the whole resource: its first rangeStart
    // bytes are skipped. Bytes past the range are not read.
    const uint64_t wanted = ranged ? length : UINT64_MAX;
    uint64_t skip = (ranged && rawStatus == 200) ? static_cast<uint64_t>(rangeStart) : 0;
    uint64_t delivered = 0;

    StallWatch watch(StallWindow());
    while (delivered < wanted) {
        if (IsCancelled()) return kDownloadCancelled;
        const char* p = nullptr;
        DWORD got = 0;
        DWORD most = static_cast<DWORD>(std::min<uint64_t>(wanted - delivered + skip, watch.MostPerRead()));
        // Under a speed limit a read asks for no more than the shared bucket allows.
        if (rateLimit) {
            most = rateLimit->Acquire(most, cancelEvent_.Get());
            if (most == 0) return kDownloadCancelled;
        }
        InternetRequest::Outcome read = request->Read(most, &p, &got, WaitUntil(watch.Deadline()));
        if (rateLimit && got < most) rateLimit->Refund(most - got);
        if (read == InternetRequest::kCancelled) return kDownloadCancelled;
        if (read == InternetRequest::kFailed) {
            *error = request->Error();
            return kDownloadFailed;
        }
        if (!watch.Count(got)) {
            *error = ERROR_INTERNET_TIMEOUT;  // under the stall window's rate
            return kDownloadFailed;
        }
        if (read == InternetRequest::kTimedOut) {
            if (LimitPassed()) {
                *error = ERROR_INTERNET_TIMEOUT;  // the request's own limit
                return kDownloadFailed;
            }
            continue;  // a window ended well; the wait goes on
        }
        if (got == 0) break;
        uint64_t n = got;
        uint64_t skipped = std::min(skip, n);
        p += skipped;
        n -= skipped;
        skip -= skipped;
        n = std::min(n, wanted - delivered);
        while (n > 0) {
            if (IsCancelled()) return kDownloadCancelled;
            uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(n, kPieceSize));
            if (!processor->Write(p, piece)) return kDownloadWriteRefused;
            p += piece;
            n -= piece;
            delivered += piece;
        }
    }
    if (IsCancelled()) return kDownloadCancelled;
    // A body that ends early is a failure, never a complete file.
    if ((ranged && delivered < wanted) || (!ranged && haveLength && delivered < contentLength)) {
        *error = ERROR_HANDLE_EOF;
        return kDownloadFailed;
    }
    return kDownloadOk;
}
