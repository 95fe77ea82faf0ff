// A stand-in for a program the launcher starts (the game, the entrance program).
// It writes its command line and working folder (UTF-8, one per line) to the
// file named by DREL_STUB_RECORD, or to STUB_RECORD_NAME beside itself (whole
// or not at all), then
// stays alive DREL_STUB_SLEEP_MS milliseconds (default 0) so tests can see it
// running, and exits with 0.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>

static std::string ToUtf8(const wchar_t* text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

int main() {
    wchar_t record[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"DREL_STUB_RECORD", record, MAX_PATH)) {
        GetModuleFileNameW(nullptr, record, MAX_PATH);
        wchar_t* slash = wcsrchr(record, L'\\');
        if (slash) wcscpy(slash + 1, STUB_RECORD_NAME);
    }
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    // Written beside the record and then renamed over it: a reader never
    // sees the record half-written (an empty file is not a record).
    std::wstring partial = std::wstring(record) + L".part";
    FILE* out = _wfopen(partial.c_str(), L"wb");
    if (out) {
        std::string line = ToUtf8(GetCommandLineW()) + "\n" + ToUtf8(folder) + "\n";
        bool written = fwrite(line.data(), 1, line.size(), out) == line.size();
        written = fclose(out) == 0 && written;
        if (!written || !MoveFileExW(partial.c_str(), record, MOVEFILE_REPLACE_EXISTING)) DeleteFileW(partial.c_str());
    }
    wchar_t sleep[32] = {};
    if (GetEnvironmentVariableW(L"DREL_STUB_SLEEP_MS", sleep, 32)) Sleep(wcstoul(sleep, nullptr, 10));
    return 0;
}
