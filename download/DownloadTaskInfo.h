#pragma once
// The plain records the download engine moves between its users and its
// workers. All are values: copies own their texts and lists.
#include <cstdint>
#include <string>
#include <vector>

#include "util/FailureCause.h"

// Request methods, numbered like the platform's HTTP library.
enum HttpMethod : int32_t {
    kHttpPost = 0,
    kHttpGet = 1,
};

// Outcome of the request that carried a file. Any other positive value is the
// HTTP status of the last attempt (neither 200 nor 206).
enum DownloadResultCode : int32_t {
    kDownloadOk = 200,              // 200 or 206, every processor accepted and ended well
    kDownloadNothingRequested = -1, // no processor, or the URL does not split
    kDownloadCancelled = -2,        // cancelled, and the file is not fetched again
    kDownloadFailed = -3,           // network failure, short body, or a processor's End failed
    kDownloadWriteRefused = -4,     // a processor refused a piece of the body
    kDownloadBeginRefused = -5,     // a processor refused the start of the body
    kDownloadRequeued = -6,         // cancelled before it was kept: back in the queue, fetched again later
};

// One file to fetch: a whole remote resource (offset -1) or size bytes of it
// starting at offset. name, kind and remoteFolder belong to the caller.
struct DownloadTaskInfo {
    std::wstring url;
    std::wstring name;
    int32_t kind = 0;
    std::wstring remoteFolder;
    std::wstring postData;
    int64_t offset = -1;
    uint32_t size = 0;
    // The caller's number for the task, handed back with its result; the engine
    // does not read it.
    uint64_t id = 0;
    // GetTickCount64's value by which the request that fetches the file must be
    // over, every attempt and pause included; 0: no limit. For a file the
    // caller can do without, which must never hold it up for long.
    uint64_t finishByTick = 0;

    DownloadTaskInfo() = default;
    DownloadTaskInfo(const std::wstring& url, const std::wstring& name, int32_t kind,
                     const std::wstring& remoteFolder, int64_t offset, uint32_t size);
};

// What one HTTP request fetches: length bytes from rangeStart (no range when
// rangeStart is negative), serving files that lie back to back, in offset order.
struct SegmentDownloadTaskInfo {
    std::wstring url;
    std::wstring postData;
    int64_t rangeStart = 0;
    uint32_t length = 0;
    uint64_t finishByTick = 0;  // the earliest of its files'; 0: none has a limit
    std::vector<DownloadTaskInfo> files;

    SegmentDownloadTaskInfo() = default;
    // A segment holding just this file.
    explicit SegmentDownloadTaskInfo(const DownloadTaskInfo& file);
};

// The outcome of one file; every file of a segment gets the segment's code,
// and with a failure its cause (the answer's, the connection's, or that of the
// file whose processor refused).
struct DownloadTaskResultInfo {
    DownloadTaskInfo info;
    int32_t resultCode = kDownloadNothingRequested;
    FailureCause cause;

    DownloadTaskResultInfo() = default;
    DownloadTaskResultInfo(const DownloadTaskInfo& info, int32_t resultCode, const FailureCause& cause = FailureCause())
        : info(info), resultCode(resultCode), cause(cause) {}
};
