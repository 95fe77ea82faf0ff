#pragma once
// Why a step of the update failed, as one value that travels from where the
// failure happened (a write, a check, a request) through the download
// engine, the downloader and the resource manager to the window and the
// trace: the kind of failure, its code (the system's error code, or the
// server's HTTP status) and the file concerned, where there is one.
#include <windows.h>
#include <cstdint>
#include <string>

enum class FailureKind : int32_t {
    None = 0,      // no failure, or none that can be told
    DiskFull,      // the drive is full, or would keep less than its floor
    FileInUse,     // another program holds the file
    DiskError,     // the disk refused otherwise (code: the system's)
    ContentCheck,  // bytes that fail their MD5 or SHA-256, or do not inflate
    ServerAnswer,  // the server answered with an HTTP status (code) other than 200 or 206
    BadAnswer,     // an answer that is not what was asked for: cut, unframed, too large, no list
    NoConnection,  // no connection to the server, or it broke (code: the system's)
    TimedOut,      // no answer, or too slow an answer, within the time allowed (code: the system's)
};

struct FailureCause {
    FailureKind kind = FailureKind::None;
    int32_t code = 0;
    std::wstring file;  // as the list names it; empty when none is concerned

    FailureCause() = default;
    FailureCause(FailureKind kind, int32_t code, const std::wstring& file = std::wstring())
        : kind(kind), code(code), file(file) {}
    bool Known() const { return kind != FailureKind::None; }
};

// A failure of the disk, from the system's error code: a full drive and a
// file another program holds are told apart from the rest.
FailureCause DiskFailure(DWORD error, const std::wstring& file);
// A failure of the network, from the system's (WinINet's) error code: a time-out
// is told apart from the rest.
FailureCause NetworkFailure(DWORD error);
// The kind's name in the trace, e.g. "disk full".
const wchar_t* FailureKindName(FailureKind kind);
// The trace line that names a cause: "失败原因\t<kind>\t<code>[\t<file>]".
std::wstring FailureTraceText(const FailureCause& cause);
