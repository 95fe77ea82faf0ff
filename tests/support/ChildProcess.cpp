#include "support/ChildProcess.h"

#include <vector>

ChildProcess::~ChildProcess() { Kill(); }

bool ChildProcess::Start(const std::wstring& commandLine, const std::wstring& extraEnv,
                         const std::wstring& folder) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    readPipe_.Reset(readEnd);
    ScopedHandle write(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    // Environment block: ours, then the extra pairs (later entries win for the child's lookups
    // only if unique, so the extra names are removed from ours first).
    std::vector<std::wstring> extras;
    for (size_t start = 0; start < extraEnv.size();) {
        size_t end = extraEnv.find(L'\n', start);
        if (end == std::wstring::npos) end = extraEnv.size();
        if (end > start) extras.push_back(extraEnv.substr(start, end - start));
        start = end + 1;
    }
    std::wstring block;
    wchar_t* env = ::GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += wcslen(p) + 1) {
        std::wstring entry = p;
        bool overridden = false;
        for (const auto& e : extras) {
            size_t eq = e.find(L'=');
            if (_wcsnicmp(entry.c_str(), e.c_str(), eq + 1) == 0) overridden = true;
        }
        if (!overridden) block += entry + L'\0';
    }
    ::FreeEnvironmentStringsW(env);
    for (const auto& e : extras) block += e + L'\0';
    block += L'\0';

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = write.Get();
    si.hStdError = write.Get();
    si.hStdInput = nullptr;
    PROCESS_INFORMATION pi = {};
    std::wstring line = commandLine;
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                          &block[0], folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
        return false;
    }
    ::CloseHandle(pi.hThread);
    process_.Reset(pi.hProcess);
    id_ = pi.dwProcessId;
    return true;
}

void ChildProcess::Drain() {
    DWORD available = 0;
    while (::PeekNamedPipe(readPipe_.Get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!::ReadFile(readPipe_.Get(), buffer, sizeof(buffer), &got, nullptr) || got == 0) return;
        output_.append(buffer, got);
    }
}

bool ChildProcess::WaitForOutput(const std::string& text, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        Drain();
        if (output_.find(text) != std::string::npos) return true;
        bool ended = ::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0;
        if (ended) {
            Drain();
            return output_.find(text) != std::string::npos;
        }
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(20);
    }
}

bool ChildProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    DWORD start = ::GetTickCount();
    while (::WaitForSingleObject(process_.Get(), 20) == WAIT_TIMEOUT) {
        Drain();
        if (::GetTickCount() - start > timeoutMs) return false;
    }
    Drain();
    if (exitCode) ::GetExitCodeProcess(process_.Get(), exitCode);
    return true;
}

void ChildProcess::Kill() {
    if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_.Get(), 1);
        ::WaitForSingleObject(process_.Get(), 5000);
    }
}
