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
