// Throughput of the resource update: one game-resource batch from a CDN the
// content packer built, driven through the resource manager the way the update
// flow drives it, timed from StartBatch (inside StartResourceUpdate) to
// ResourceUpdateFinished. Then the parse-and-compare time of a 100,000-entry list.
// Usage: update_bench.exe LIST_URL ROOT_FOLDER
//   ROOT_FOLDER (ending in "\") must not exist; the files land in ROOT_FOLDER\game\ and,
//   for the run without the segment pause, in ROOT_FOLDER\nopause\game\.
// Prints UPDATE_* and COMPARE_* KEY=VALUE lines (among the debug trace) for
// bench/update-bench.sh.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/DownloadTimings.h"
#include "download/FileUtils.h"
#include "update/ResourceCompare.h"
#include "update/ResourceList.h"
#include "update/ResourceManager.h"
#include "util/TextEncoding.h"

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The manager's reports: the last state and the size of the batch.
struct Run {
    CriticalSection lock;
    ScopedHandle changed{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::vector<int> states;
    int64_t total = 0;
    int64_t lastDownloaded = 0;

    bool Seen(int state) {
        ScopedLock hold(lock);
        for (int s : states) {
            if (s == state) return true;
        }
        return false;
    }
    // Waits for one of two states; the one seen, or 0 after five minutes.
    int WaitFor(int a, int b) {
        DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 300000) {
            if (Seen(a)) return a;
            if (Seen(b)) return b;
            ::WaitForSingleObject(changed.Get(), 100);
        }
        return 0;
    }
};

Run* g_run = nullptr;

// One whole-batch download into a root that does not exist yet; seconds from StartBatch to the
// end, or a negative value when the batch failed.
double TimeBatch(const std::wstring& listUrl, const std::wstring& root, int64_t* bytes) {
    CreateFolderPath(root);
    Run run;
    g_run = &run;
    CResourceManager& manager = CResourceManager::GetInstance();
    manager.Initialize(root, root, listUrl);
    if (run.WaitFor(7, 8) != 7) return -1;
    while (!manager.Downloader().IsIdle()) ::Sleep(5);  // the list's worker has ended
    int32_t started = 0;
    manager.StartLauncherUpdate(started);
    double start = Now();
    manager.StartResourceUpdate();
    int end = run.WaitFor(17, 10);
    double seconds = Now() - start;
    while (!manager.Downloader().IsIdle()) ::Sleep(5);
    *bytes = run.total;
    g_run = nullptr;
    if (end != 17 || run.lastDownloaded != run.total) {
        std::printf("UPDATE_FAILED=end %d, %lld of %lld bytes\n", end, static_cast<long long>(run.lastDownloaded),
                    static_cast<long long>(run.total));
        return -1;
    }
    return seconds;
}

std::wstring Hex32(unsigned seed) {
    wchar_t buffer[40];
    swprintf(buffer, 40, L"%08X%08X%08X%08X", seed * 2654435761u, seed ^ 0xA5A5A5A5u, seed * 40503u, ~seed);
    return buffer;
}

// Parse both lists, fill the maps and compare, for 100,000 entries of which
// every tenth differs and every hundredth is new. Milliseconds.
double TimeParseAndCompare(size_t count, size_t* downloads) {
    std::wstring cdnText, localText;
    int64_t offset = 0;
    for (size_t i = 0; i < count; ++i) {
        wchar_t name[64];
        swprintf(name, 64, L"res\\dir%03u\\file%06u.dat", static_cast<unsigned>(i % 500), static_cast<unsigned>(i));
        std::wstring md5 = Hex32(static_cast<unsigned>(i));
        cdnText += std::wstring(name) + L"=" + md5 + L"=res" + std::to_wstring(1 + i % 4) + L"=" +
                   std::to_wstring(offset) + L"=" + std::to_wstring(1000 + i % 5000) + L"\r\n";
        offset += 1000 + i % 5000;
        if (i % 100 == 0) continue;  // new on the CDN
        localText += std::wstring(name) + L"=" + (i % 10 == 0 ? Hex32(static_cast<unsigned>(i + 1)) : md5) + L"\r\n";
    }
    double start = Now();
    std::vector<ResoureConfigInfo> cdnList, localList;
    ParseResourceList(cdnText, &cdnList);
    ParseResourceList(localText, &localList);
    ResourceInfoMap cdnMap, localMap;
    for (const auto& e : cdnList) InsertResourceEntry(&cdnMap, e, L"");
    for (const auto& e : localList) InsertResourceEntry(&localMap, e, L"");
    std::vector<ResourceUpdateItem> changes, deletes;
    CompareLists(&localMap, cdnMap, &changes, &deletes, nullptr);
    double ms = (Now() - start) * 1000.0;
    *downloads = changes.size();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: update_bench.exe LIST_URL ROOT_FOLDER\n");
        return 2;
    }
    std::wstring listUrl = AnsiToText(argv[1]);
    std::wstring root = AnsiToText(argv[2]);
    if (root.back() != L'\\') root += L'\\';
    CResourceManager::GetInstance().SetProgressCallback(
        [](ResourceManagerProgressState state, ResourceManagerProgressInfoBase* info) {
            Run* run = g_run;
            if (!run) return;
            ScopedLock hold(run->lock);
            if (auto* progress = dynamic_cast<ResourceManagerUpdateProgressInfo*>(info)) {
                run->lastDownloaded = progress->downloaded;  // the progress bar's part: no wake-up
                return;
            }
            run->states.push_back(static_cast<int>(state));
            if (auto* size = dynamic_cast<RequestDownloadTotalSizeNoticeInfo*>(info)) run->total = size->totalSize;
            ::SetEvent(run->changed.Get());
        });

    int64_t bytes = 0;
    double product = TimeBatch(listUrl, root, &bytes);
    // The same with the engine's 100 ms pause before each segment at 0: the transfer alone.
    DownloadTimings noPause = GetDownloadTimings();
    noPause.segmentPauseMs = 0;
    OverrideDownloadTimingsForTesting(noPause);
    int64_t ignored = 0;
    double transfer = TimeBatch(listUrl, root + L"nopause\\", &ignored);
    size_t downloads = 0;
    double compareMs = TimeParseAndCompare(100000, &downloads);

    std::printf("UPDATE_BYTES=%lld\nUPDATE_SECONDS=%.3f\nUPDATE_NOPAUSE_SECONDS=%.3f\n"
                         "COMPARE_ENTRIES=100000\nCOMPARE_DOWNLOADS=%u\nCOMPARE_MS=%.1f\n",
                 static_cast<long long>(bytes), product, transfer, static_cast<unsigned>(downloads), compareMs);
    return product > 0 && transfer > 0 ? 0 : 1;
}
