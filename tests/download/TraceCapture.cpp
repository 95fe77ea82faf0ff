#include "download/TraceCapture.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <cstdio>

#include "util/FileUtils.h"
#include "util/TextEncoding.h"

TraceCapture::TraceCapture() {
    wchar_t folder[MAX_PATH] = {};
    wchar_t file[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"trc", 0, file);
    path_ = file;
    std::fflush(stdout);
    savedFd_ = ::_dup(::_fileno(stdout));
    fileFd_ = ::_wopen(path_.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fileFd_ >= 0) ::_dup2(fileFd_, ::_fileno(stdout));
}

TraceCapture::~TraceCapture() {
    std::fflush(stdout);
    if (savedFd_ >= 0) {
        ::_dup2(savedFd_, ::_fileno(stdout));
        ::_close(savedFd_);
    }
    if (fileFd_ >= 0) ::_close(fileFd_);
    ::DeleteFileW(path_.c_str());
}

std::wstring TraceCapture::Text() {
    std::fflush(stdout);
    std::string bytes;
    ReadFileBytes(path_, &bytes);
    return AnsiToText(bytes);
}

int TraceCapture::Count(const std::wstring& line) {
    // Line ends may have been widened by text mode; compare without the CRs.
    std::wstring text;
    for (wchar_t c : Text()) {
        if (c != L'\r') text += c;
    }
    std::wstring needle = line + L"\n";
    int count = 0;
    size_t at = 0;
    while ((at = text.find(needle, at)) != std::wstring::npos) {
        if (at == 0 || text[at - 1] == L'\n') ++count;
        at += needle.size();
    }
    return count;
}

bool TraceCapture::WaitFor(const std::wstring& line, DWORD timeoutMs) {
    // The trace goes to a file: it is read again as it grows.
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (Count(line) == 0) {
        if (::GetTickCount64() >= end) return false;
        ::Sleep(20);
    }
    return true;
}
