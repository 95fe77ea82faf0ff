#pragma once
// A child process for tests, with its standard output captured through a pipe.
#include <windows.h>
#include <string>
#include "afx/ScopedWin.h"

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // ends the process if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // commandLine as given to CreateProcessW; extraEnv "K=V" pairs separated by '\n'
    // are added to this process's environment for the child.
    bool Start(const std::wstring& commandLine, const std::wstring& extraEnv = L"",
               const std::wstring& folder = L"");
    // Reads standard output until it contains text, the process ends, or timeoutMs passes.
    bool WaitForOutput(const std::string& text, DWORD timeoutMs);
    // Waits for the end; false on time-out. *exitCode gets the code.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
    void Kill();
    const std::string& Output() const { return output_; }
    HANDLE Process() const { return process_.Get(); }
    DWORD Id() const { return id_; }

private:
    void Drain();
    ScopedHandle process_;
    ScopedHandle readPipe_;
    DWORD id_ = 0;
    std::string output_;
};
