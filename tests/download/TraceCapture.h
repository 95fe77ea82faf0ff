#pragma once
// Captures the debug trace's standard-output copy while the object lives.
#include <windows.h>
#include <string>

class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Everything traced so far, one line per call, ending in "\r\n".
    std::wstring Text();
    int Count(const std::wstring& line);
    // Waits until the line has been traced; false after timeoutMs.
    bool WaitFor(const std::wstring& line, DWORD timeoutMs);

private:
    std::wstring path_;
    int savedFd_ = -1;
    int fileFd_ = -1;
};
