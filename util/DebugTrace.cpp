#include "util/DebugTrace.h"

#include <windows.h>
#include <cstdio>
#include <cwchar>

#include "util/TextEncoding.h"

namespace {

void WriteTraceLine(const std::wstring& line) {
    ::OutputDebugStringW(line.c_str());
    std::string bytes = TextToAnsi(line);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

void DebugTrace(const std::wstring& text) { WriteTraceLine(text + L"\r\n"); }

void DebugTrace(const wchar_t* head, const std::wstring& text) {
    std::wstring line;
    line.reserve(wcslen(head) + text.size() + 2);
    WriteTraceLine(line.append(head).append(text).append(L"\r\n"));
}

void TraceDiskError(const wchar_t* step, const std::wstring& what) {
    const DWORD code = ::GetLastError();
    std::wstring line = L"写入磁盘失败\t" + IntToText(static_cast<int32_t>(code)) + L"\t" + step;
    if (!what.empty()) line += L"\t" + what;
    DebugTrace(line);
}
