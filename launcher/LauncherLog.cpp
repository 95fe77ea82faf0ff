#include "launcher/LauncherLog.h"

#include <windows.h>
#include <share.h>
#include <cstdio>
#include <ctime>

#include "util/InstallPaths.h"
#include "util/TextEncoding.h"

namespace {

void AppendLogLine(const std::string& payload) {
    FILE* file = ::_wfsopen(GetLogFilePath().c_str(), L"at", _SH_DENYNO);
    if (!file) return;
    std::string line = FormatLogTimestamp() + payload + "\n";  // text mode: CR LF
    std::fwrite(line.data(), 1, line.size(), file);
    std::fflush(file);
    std::fclose(file);
}

}  // namespace

std::wstring GetLogFilePath() { return GetDataFolder() + L"DRELLog.txt"; }

std::string FormatLogTimestamp() {
    __time64_t now = _time64(nullptr);
    struct tm* local = _localtime64(&now);
    char buffer[30] = {};
    if (local) std::strftime(buffer, sizeof(buffer), "[%Y-%m-%d %H:%M:%S] ", local);
    return buffer;
}

void WriteLogLine(const std::wstring& text) { AppendLogLine(TextToAnsi(text)); }

void WriteLogLine(const std::string& bytes) { AppendLogLine(bytes); }

void WriteLogLine(int32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%d", static_cast<int>(value));
    AppendLogLine(digits);
}
