#pragma once
// Performs one HTTP request with retries over WinINet and streams the body
// into a DownloadDataProcessor. Owned by one DownloaderTask and used on its
// worker thread; only Cancel and ResetCancel are called from other threads.
// No wait of a request is left to the transport (InternetRequest): a cancel
// ends it at once, and a transfer that stalls fails its attempt.
#include <windows.h>
#include <wininet.h>
#include <cstdint>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/DownloadDataProcessor.h"
#include "download/DownloadTaskInfo.h"

class DownloadRateLimit;
class InternetRequest;

class HttpClient {
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Accept, User-Agent and the form (or JSON) Content-Type line, replacing the list.
    void SetFormHeaders();
    void SetJsonHeaders();

    // Requests url (backslashes become slashes) and hands the body to processor.
    // rangeStart >= 0 asks for length bytes from there; -1 for the whole resource.
    // finishByTick (GetTickCount64; 0: none) ends the request, every attempt
    // and pause included, by then at the latest: it fails as timed out.
    // Blocks until done; gives a result code (DownloadResultCode or an HTTP
    // status) and, with a failure, its cause in *cause (may be null).
    int32_t Execute(const std::wstring& url, DownloadDataProcessor* processor, HttpMethod method,
                    const std::wstring& postData, int64_t rangeStart, uint32_t length,
                    uint64_t finishByTick = 0, FailureCause* cause = nullptr);

    // Stops the request under way at once, also while it waits for the
    // server, and every further attempt; a cancel made before Execute stops
    // that request before it is sent. Any thread.
    void Cancel();
    // Makes the client usable again after a cancel; its owner calls it when it
    // starts new work.
    void ResetCancel();
    bool IsCancelled() const;

    // Header lines without line ends.
    std::vector<std::wstring> headers;
    // Tries per request.
    int32_t attempts = 1;
    // Whether a whole resource (a request without a range) may come in chunked
    // framing instead of with its length. A dynamic server's answer may. A CDN's
    // files always carry their length, and a chunked one cut at a chunk's end
    // cannot be told from a whole one everywhere (Wine's WinINet takes it), so
    // by default an answer without a length is refused.
    bool chunkedWholeAnswers = false;
    // Shared with the other clients of one download (not owned); null: no limit.
    DownloadRateLimit* rateLimit = nullptr;
    // The stall window of the next requests (the wait for the answer, and each
    // window the transfer must average its floor rate over); 0: the engine's.
    DWORD stallWindowMs = 0;

private:
    struct Target;
    int32_t RunAttempt(const Target& target, DownloadDataProcessor* processor, HttpMethod method,
                       const std::string& body, int64_t rangeStart, uint32_t length, FailureCause* cause);
    // *error tells why a kDownloadFailed came (a system or WinINet error code).
    int32_t ReadBody(InternetRequest* request, DownloadDataProcessor* processor, int32_t rawStatus,
                     int64_t rangeStart, uint32_t length, DWORD* error);
    std::wstring HeaderBlock(int64_t rangeStart, uint32_t length) const;
    // The earlier of a stall window's end and the request's own limit, as a GetTickCount value.
    DWORD WaitUntil(DWORD stallDeadline) const;
    bool LimitPassed() const;
    DWORD StallWindow() const;

    uint64_t finishByTick_ = 0;  // of the request under way

    volatile LONG cancelled_ = 0;
    // Signalled with cancelled_: it ends every wait of a request and the pause
    // between attempts at once.
    ScopedHandle cancelEvent_;
};

// The parts of a URL a request needs. False when it does not split.
bool SplitRequestUrl(const std::wstring& url, std::wstring* server, uint16_t* port, std::wstring* path);
