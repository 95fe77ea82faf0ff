// Read speed of the repair's check: every file below a folder hashed with
// Md5OfFileHex, one after another, as the resource manager checks installed files.
// Usage: verify_bench.exe FOLDER   (prints VERIFY_BYTES and VERIFY_SECONDS)
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

#include "util/Md5.h"
#include "util/TextEncoding.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: verify_bench.exe FOLDER\n");
        return 2;
    }
    std::wstring folder = AnsiToText(argv[1]);
    if (folder.back() != L'\\') folder += L'\\';
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 1;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(folder + found.cFileName);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);

    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    uint64_t bytes = 0;
    for (const std::wstring& path : files) {
        std::string md5;
        if (!Md5OfFileHex(path, &md5, [&bytes](uint64_t n) {
                bytes += n;
                return true;
            })) return 1;
    }
    ::QueryPerformanceCounter(&end);
    std::printf("VERIFY_BYTES=%llu\nVERIFY_SECONDS=%.3f\n", static_cast<unsigned long long>(bytes),
                static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    return 0;
}
