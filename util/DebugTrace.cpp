#include "util/DebugTrace.h"

#include <windows.h>
#include <cstdio>

#include "util/TextEncoding.h"

void DebugTrace(const std::wstring& text) {
    std::wstring line = text + L"\r\n";
    ::OutputDebugStringW(line.c_str());
    std::string bytes = TextToAnsi(line);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void TraceDiskError(const wchar_t* step, const std::wstring& what) {
    const DWORD code = ::GetLastError();
    std::wstring line = L"写入磁盘失败\t" + IntToText(static_cast<int32_t>(code)) + L"\t" + step;
    if (!what.empty()) line += L"\t" + what;
    DebugTrace(line);
}
