#pragma once
// The consumer of one downloaded file's bytes. The HTTP layer drives it on one
// worker thread, for every attempt of a request:
//   Begin once, only when the answer is 200 or 206;
//   Write zero or more times, in body order, pieces of at most 1024 bytes;
//   End always, also when Begin was not called (failure, other status, cancel).
// A failed attempt is retried with a new Begin, so End must leave the
// processor ready for one. GetContent is called by the owner afterwards.
#include <cstdint>
#include <string>

#include "download/DownloadTaskInfo.h"

class DownloadDataProcessor {
public:
    DownloadDataProcessor() = default;
    explicit DownloadDataProcessor(const DownloadTaskInfo& info) : info(info) {}
    virtual ~DownloadDataProcessor() = default;
    DownloadDataProcessor(const DownloadDataProcessor&) = delete;
    DownloadDataProcessor& operator=(const DownloadDataProcessor&) = delete;

    // contentLength is the response's Content-Length (0 when absent); for a file
    // inside a segment it is the length of the whole response. false: -5.
    virtual bool Begin(uint32_t contentLength) = 0;
    // The attempt is over. false turns the attempt's result into -3.
    virtual bool End() = 0;
    // The next piece of the body. false stops reading: -4.
    virtual bool Write(const void* data, uint32_t count) = 0;
    // Copies the content downloaded so far into *out, replacing what it held.
    virtual bool GetContent(std::string* out) = 0;
    // Whether an attempt that ended with this result (a DownloadResultCode or
    // an HTTP status) is worth repeating. A refused Begin never is: the
    // processor would refuse again.
    virtual bool Retries(int32_t result) const { return result != kDownloadBeginRefused; }
    // The file is verified and kept: a segment cut short after it does not
    // fetch it again.
    virtual bool IsKept() const { return false; }
    // Why the last refusal (Begin, Write or End giving false) came; nothing
    // known by default.
    virtual FailureCause Failure() const { return FailureCause(); }

    // The file this processor serves.
    DownloadTaskInfo info;
};
