#include "util/FailureCause.h"

#include <wininet.h>

#include "util/TextEncoding.h"

FailureCause DiskFailure(DWORD error, const std::wstring& file) {
    FailureKind kind = FailureKind::DiskError;
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        kind = FailureKind::DiskFull;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        kind = FailureKind::FileInUse;
        break;
    default:
        break;
    }
    return FailureCause(kind, static_cast<int32_t>(error), file);
}

FailureCause NetworkFailure(DWORD error) {
    if (error == ERROR_INTERNET_TIMEOUT) return FailureCause(FailureKind::TimedOut, static_cast<int32_t>(error));
    if (error == ERROR_HTTP_INVALID_SERVER_RESPONSE) {
        return FailureCause(FailureKind::BadAnswer, static_cast<int32_t>(error));
    }
    return FailureCause(FailureKind::NoConnection, static_cast<int32_t>(error));
}

const wchar_t* FailureKindName(FailureKind kind) {
    switch (kind) {
    case FailureKind::None: return L"unknown";
    case FailureKind::DiskFull: return L"disk full";
    case FailureKind::FileInUse: return L"file in use";
    case FailureKind::DiskError: return L"disk error";
    case FailureKind::ContentCheck: return L"content check failed";
    case FailureKind::ServerAnswer: return L"server answer";
    case FailureKind::BadAnswer: return L"bad answer";
    case FailureKind::NoConnection: return L"no connection";
    case FailureKind::TimedOut: return L"timed out";
    }
    return L"unknown";
}

std::wstring FailureTraceText(const FailureCause& cause) {
    std::wstring line = std::wstring(L"失败原因\t") + FailureKindName(cause.kind) + L"\t" + IntToText(cause.code);
    if (!cause.file.empty()) line += L"\t" + cause.file;
    return line;
}
