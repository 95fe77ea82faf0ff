// Throughput of the download engine: one package fetched as touching ranges
// through the dispatcher with 3 workers, the way the CDN downloader fetches
// a batch. The bytes are counted and dropped.
// Usage: engine_bench.exe URL SIZE_BYTES [FILE_BYTES [LIMIT_BYTES_PER_SECOND]]
//   prints the rate with the product's 100 ms pause before every segment, then
//   the rate with that pause at 0 (the transfer alone). With a limit, one run
//   under that speed limit instead (the 3 workers sharing it), its rate as
//   LIMITED_MIBS.
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/DownloadRateLimit.h"
#include "download/DownloadTimings.h"
#include "download/DownloaderTaskDispatcher.h"

namespace {

class CountingProcessor : public DownloadDataProcessor {
public:
    explicit CountingProcessor(const DownloadTaskInfo& info) : DownloadDataProcessor(info) {}
    bool Begin(uint32_t) override {
        bytes = 0;
        return true;
    }
    bool End() override { return true; }
    bool Write(const void*, uint32_t count) override {
        bytes += count;
        return true;
    }
    bool GetContent(std::string*) override { return true; }
    uint64_t bytes = 0;
};

class BenchOwner : public DownloaderTaskProcessor {
public:
    BenchOwner() : done(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    std::vector<DownloadDataProcessor*> CreateProcessors(const SegmentDownloadTaskInfo& segment) override {
        // Files are numbered by their name; each gets its own processor.
        std::vector<DownloadDataProcessor*> made;
        for (const DownloadTaskInfo& info : segment.files) {
            made.push_back(processors[static_cast<size_t>(_wtoi(info.name.c_str()))].get());
        }
        return made;
    }
    void OnTaskResult(const DownloadTaskResultInfo& result) override {
        if (result.resultCode != 200) ::InterlockedIncrement(&failures);
    }
    void OnAllTasksFinished() override { ::SetEvent(done.Get()); }

    std::vector<std::unique_ptr<CountingProcessor>> processors;
    volatile LONG failures = 0;
    ScopedHandle done;
};

// Seconds for one run, or a negative value when a file failed or bytes are missing.
double RunOnce(const std::wstring& url, uint64_t size, uint32_t fileBytes, DownloadRateLimit* limit = nullptr) {
    BenchOwner owner;
    std::vector<DownloadTaskInfo> files;
    for (uint64_t offset = 0; offset < size; offset += fileBytes) {
        uint32_t n = static_cast<uint32_t>(size - offset < fileBytes ? size - offset : fileBytes);
        DownloadTaskInfo info(url, std::to_wstring(files.size()), 1, L"", static_cast<int64_t>(offset), n);
        owner.processors.emplace_back(new CountingProcessor(info));
        files.push_back(info);
    }
    DownloaderTaskDispatcher dispatcher;
    dispatcher.owner = &owner;
    dispatcher.maxThreads = 3;
    dispatcher.rateLimit = limit;
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    dispatcher.AddTasks(files);
    ::WaitForSingleObject(owner.done.Get(), INFINITE);
    ::QueryPerformanceCounter(&end);
    uint64_t total = 0;
    for (auto& p : owner.processors) total += p->bytes;
    if (owner.failures != 0 || total != size) {
        std::fprintf(stderr, "failed: %ld files failed, %llu of %llu bytes\n", owner.failures,
                     static_cast<unsigned long long>(total), static_cast<unsigned long long>(size));
        return -1;
    }
    return static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3) {
        std::fprintf(stderr, "usage: engine_bench URL SIZE_BYTES [FILE_BYTES]\n");
        return 2;
    }
    std::wstring url = argv[1];
    uint64_t size = _wcstoui64(argv[2], nullptr, 10);
    uint32_t fileBytes = argc > 3 ? static_cast<uint32_t>(_wtoi(argv[3])) : 1024 * 1024;
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
    if (argc > 4) {
        DownloadRateLimit limit;
        limit.SetBytesPerSecond(_wcstoui64(argv[4], nullptr, 10));
        double limited = RunOnce(url, size, fileBytes, &limit);
        if (limited < 0) return 1;
        std::printf("engine %.1f MiB in %.3f s under the limit: %.2f MiB/s\nLIMITED_MIBS=%.3f\n", mib, limited,
                    mib / limited, mib / limited);
        return 0;
    }

    double product = RunOnce(url, size, fileBytes);
    DownloadTimings noPause;
    noPause.segmentPauseMs = 0;
    OverrideDownloadTimingsForTesting(noPause);
    double transfer = RunOnce(url, size, fileBytes);
    if (product < 0 || transfer < 0) return 1;
    std::printf("engine %.1f MiB in %.3f s: %.1f MiB/s (product pauses)\n", mib, product, mib / product);
    std::printf("engine %.1f MiB in %.3f s: %.1f MiB/s (no pause before segments)\n", mib, transfer, mib / transfer);
    std::printf("ENGINE_MIBS=%.1f\nENGINE_NOPAUSE_MIBS=%.1f\n", mib / product, mib / transfer);
    return 0;
}
