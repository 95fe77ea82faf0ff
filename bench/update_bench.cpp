// What players wait for in a resource update, one scenario per process so that
// the peak memory measured from outside belongs to that scenario alone. The
// resource manager is driven the way the update flow drives it, through its
// public surface only: Initialize, StartComparison, StartBatches and the
// progress callback.
// Usage:
//   update_bench.exe install LIST_URL ROOT_FOLDER SEGMENT_PAUSE_MS
//       first install into ROOT_FOLDER (which must not exist yet), timed from
//       StartBatches to ResourceUpdateFinished; the files land in
//       ROOT_FOLDER\game\. Prints UPDATE_BYTES and UPDATE_SECONDS.
//   update_bench.exe update LIST_URL ROOT_FOLDER SEGMENT_PAUSE_MS
//       the same for an installed ROOT_FOLDER, timed from Initialize on.
//   update_bench.exe idle LIST_URL ROOT_FOLDER SEGMENT_PAUSE_MS
//       a launch with everything installed, timed from Initialize to
//       ResourceUpdateFinished. Prints IDLE_SECONDS.
//   update_bench.exe compare ENTRIES
//       read both lists from their bytes as the resource manager does and
//       compare them, every tenth entry changed and every hundredth new.
//       Prints COMPARE_ENTRIES, COMPARE_DOWNLOADS and COMPARE_MS.
// The KEY=VALUE lines come among the debug trace; a failure prints a *_FAILED
// line and exits with 1.
#include <windows.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/DownloadTimings.h"
#include "update/ResourceCompare.h"
#include "update/ResourceList.h"
#include "update/ResourceListCheck.h"
#include "update/ResourceManager.h"
#include "util/FileUtils.h"
#include "util/TextEncoding.h"

namespace {

// The KEY=VALUE lines in one write: the workers' last trace lines, written a
// line per call, may still be coming, and a formatted print of several pieces
// could be split by them.
void PrintResults(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    std::fwrite(text, 1, static_cast<size_t>(n) < sizeof text ? static_cast<size_t>(n) : sizeof text - 1, stdout);
    std::fflush(stdout);
}

double Now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The manager's reports: every state seen and the size of the batch.
struct Run {
    CriticalSection lock;
    ScopedHandle changed{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::vector<int> states;
    std::vector<double> seenAt;  // when each of states was reported
    int64_t total = 0;
    int64_t lastDownloaded = 0;

    bool Seen(ResourceManagerProgressState state) {
        ScopedLock hold(lock);
        for (int s : states) {
            if (s == static_cast<int>(state)) return true;
        }
        return false;
    }
    // Waits until one of the states has been reported; the first of them in the
    // list that was seen, or 0 after ten minutes (a 20,000-file install under a
    // busy Wine takes well under one).
    int WaitFor(std::initializer_list<ResourceManagerProgressState> wanted) {
        DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 600000) {
            for (ResourceManagerProgressState state : wanted) {
                if (Seen(state)) return static_cast<int>(state);
            }
            ::WaitForSingleObject(changed.Get(), 100);
        }
        return 0;
    }
};

// Lives as long as the process: the manager's workers report into it until main's
// manager and downloader have joined them.
Run& g_run = *new Run;

// Runs each report at once, on the thread that made it.
struct RunReceiver : UpdateReports {
    void OnDownloadTotalSize(int64_t totalSize) override { g_run.total = totalSize; }
    void OnDownloadProgress(int64_t downloaded, int64_t) override { g_run.lastDownloaded = downloaded; }
};

void OnProgress(ResourceManagerProgressState state, const UpdateReport& report) {
    ScopedLock hold(g_run.lock);
    RunReceiver receiver;
    report(receiver);
    if (IsCounterReport(state)) return;  // the progress bar's part: no wake-up
    g_run.states.push_back(static_cast<int>(state));
    g_run.seenAt.push_back(Now());
    ::SetEvent(g_run.changed.Get());
}

using State = ResourceManagerProgressState;

// Initialize, and after the list the comparison, as the flow starts them: the
// state that ended the wait (RequestDownloadTotalSize when the size is known).
int RunToSize(CResourceManager& manager, const std::wstring& listUrl, const std::wstring& root) {
    manager.Initialize(root, root, listUrl);
    int listed = g_run.WaitFor({State::CdnCompareFinished, State::CdnCompareFailed});
    if (listed != static_cast<int>(State::CdnCompareFinished)) return listed;
    manager.StartComparison(false);
    return g_run.WaitFor({State::RequestDownloadTotalSize, State::CdnCompareFailed});
}

// A first install into a root that does not exist yet: seconds from
// StartBatches to ResourceUpdateFinished. An update of an installed
// root: seconds from Initialize on, since the comparison (which cuts and
// hashes the files rebuilt from chunks) is part of what it costs. A negative
// value when it failed.
double TimeInstall(CResourceManager& manager, const std::wstring& listUrl, const std::wstring& root, bool update,
                   int64_t* bytes) {
    if ((::GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) != update) {
        PrintResults(update ? "UPDATE_FAILED=nothing installed to update\n"
                            : "UPDATE_FAILED=the root folder already exists\n");
        return -1;
    }
    CreateFolderPath(root);
    double initialized = Now();
    int asked = RunToSize(manager, listUrl, root);
    if (asked != static_cast<int>(State::RequestDownloadTotalSize)) {
        PrintResults("UPDATE_FAILED=no download size (state %d)\n", asked);
        return -1;
    }
    double start = update ? initialized : Now();
    manager.StartBatches();
    int end = g_run.WaitFor({State::ResourceUpdateFinished, State::ResourceDownloadFailed,
                             State::LauncherDownloadStarted});
    if (end == static_cast<int>(State::LauncherDownloadStarted)) {
        PrintResults("UPDATE_FAILED=the list holds launcher files\n");
        return -1;
    }
    double seconds = Now() - start;
    *bytes = g_run.total;
    if (end != static_cast<int>(State::ResourceUpdateFinished) || g_run.lastDownloaded != g_run.total) {
        PrintResults("UPDATE_FAILED=end %d, %lld of %lld bytes\n", end, static_cast<long long>(g_run.lastDownloaded),
                    static_cast<long long>(g_run.total));
        return -1;
    }
    return seconds;
}

// A launch that finds everything installed: seconds from Initialize to
// ResourceUpdateFinished, or a negative value when it failed or downloaded.
double TimeIdleLaunch(CResourceManager& manager, const std::wstring& listUrl, const std::wstring& root) {
    double start = Now();
    int asked = RunToSize(manager, listUrl, root);
    int end = asked;
    if (asked == static_cast<int>(State::RequestDownloadTotalSize) && g_run.total == 0) {
        manager.StartBatches();
        end = g_run.WaitFor({State::ResourceUpdateFinished, State::ResourceDownloadStarted,
                             State::LauncherDownloadStarted});
    }
    double seconds = Now() - start;
    if (end != static_cast<int>(State::ResourceUpdateFinished) || g_run.Seen(State::ResourceDownloadStarted)) {
        PrintResults("IDLE_FAILED=state %d: the launch had work to do\n", end);
        return -1;
    }
    // Where the time went: milliseconds from Initialize to each state.
    std::string steps;
    {
        ScopedLock hold(g_run.lock);
        for (size_t i = 0; i < g_run.states.size(); ++i) {
            char step[32];
            std::snprintf(step, sizeof step, "%s%d@%.0f", steps.empty() ? "" : " ", g_run.states[i],
                          (g_run.seenAt[i] - start) * 1000.0);
            steps += step;
        }
    }
    PrintResults("IDLE_STEPS=%s\n", steps.c_str());
    return seconds;
}

std::wstring Hex32(unsigned seed) {
    wchar_t buffer[40];
    swprintf(buffer, 40, L"%08X%08X%08X%08X", seed * 2654435761u, seed ^ 0xA5A5A5A5u, seed * 40503u, ~seed);
    return buffer;
}

// The path both lists take in the resource manager, from their bytes to the
// changes, for count entries of which every tenth differs and every hundredth
// is new: the CDN list decoded and read strictly (every name checked as a path
// under its root, duplicates refused), version.txt decoded and read, both
// mapped, then compared. Milliseconds. The lines are in name order, as the
// packer and version.txt write them.
double TimeParseAndCompare(size_t count, size_t* downloads) {
    std::string cdnBytes, localBytes;
    int64_t offset = 0;
    for (size_t i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "res\\dir%03u\\file%06u.dat", static_cast<unsigned>(i / 200),
                      static_cast<unsigned>(i));
        std::string md5 = TextToUtf8String(Hex32(static_cast<unsigned>(i)));
        cdnBytes += std::string(name) + "=" + md5 + "=res" + std::to_string(1 + i % 4) + "=" +
                    std::to_string(offset) + "=" + std::to_string(1000 + i % 5000) + "\r\n";
        offset += 1000 + i % 5000;
        if (i % 100 == 0) continue;  // new on the CDN
        localBytes += std::string(name) + "=" +
                      (i % 10 == 0 ? TextToUtf8String(Hex32(static_cast<unsigned>(i + 1))) : md5) + "\r\n";
    }
    CdnListTargets targets;
    targets.launcherRoot = L"C:\\drel-bench\\compare\\";
    targets.resourceFilesFolder = targets.launcherRoot + L"game\\";
    targets.ownFiles = {targets.launcherRoot + L"version.txt"};
    // Each step's end, for the breakdown printed beside the total.
    double marks[8];
    marks[0] = Now();
    std::wstring cdnText = ReceivedBytesToText(cdnBytes);
    marks[1] = Now();
    std::vector<ResoureConfigInfo> cdnList, localList;
    if (ReadCdnResourceList(cdnText, targets, &cdnList).fault != CdnListFault::None) return -1;
    marks[2] = Now();
    std::wstring localText = Utf8BytesToText(localBytes);
    marks[3] = Now();
    ParseResourceList(localText, &localList);
    marks[4] = Now();
    ResourceInfoMap cdnMap, localMap;
    for (auto& e : cdnList) InsertResourceEntry(&cdnMap, std::move(e), L"");
    marks[5] = Now();
    for (auto& e : localList) InsertResourceEntry(&localMap, std::move(e), L"");
    marks[6] = Now();
    std::vector<ResourceUpdateItem> changes, deletes;
    CompareLists(&localMap, cdnMap, &changes, &deletes, nullptr);
    marks[7] = Now();
    auto ms = [&marks](int step) { return (marks[step] - marks[step - 1]) * 1000.0; };
    PrintResults("COMPARE_STEPS=decode CDN list %.1f, read it strictly %.1f, decode version.txt %.1f, parse it %.1f, "
                 "map the CDN list %.1f, map version.txt %.1f, compare %.1f ms\n",
                 ms(1), ms(2), ms(3), ms(4), ms(5), ms(6), ms(7));
    *downloads = changes.size();
    return (marks[7] - marks[0]) * 1000.0;
}

void SetSegmentPause(const char* text) {
    DownloadTimings timings = GetDownloadTimings();
    timings.segmentPauseMs = static_cast<DWORD>(std::strtoul(text, nullptr, 10));
    OverrideDownloadTimingsForTesting(timings);
}

std::wstring FolderArgument(const char* text) {
    std::wstring folder = AnsiToText(text);
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: update_bench.exe install|update|idle LIST_URL ROOT_FOLDER SEGMENT_PAUSE_MS\n"
                 "       update_bench.exe compare ENTRIES\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string mode = argv[1];
    if (mode == "compare" && argc == 3) {
        size_t entries = std::strtoul(argv[2], nullptr, 10);
        size_t downloads = 0;
        double ms = TimeParseAndCompare(entries, &downloads);
        if (ms < 0) {
            PrintResults("COMPARE_FAILED=the CDN list was refused\n");
            return 1;
        }
        PrintResults("COMPARE_ENTRIES=%u\nCOMPARE_DOWNLOADS=%u\nCOMPARE_MS=%.1f\n", static_cast<unsigned>(entries),
                    static_cast<unsigned>(downloads), ms);
        return 0;
    }
    if ((mode != "install" && mode != "update" && mode != "idle") || argc != 5) return Usage();
    std::wstring listUrl = AnsiToText(argv[2]);
    std::wstring root = FolderArgument(argv[3]);
    SetSegmentPause(argv[4]);
    // Ends its thread and workers before main returns.
    CResourceManager manager;
    manager.SetReportPoster(OnProgress);

    if (mode == "install" || mode == "update") {
        int64_t bytes = 0;
        double seconds = TimeInstall(manager, listUrl, root, mode == "update", &bytes);
        if (seconds < 0) return 1;
        PrintResults("UPDATE_BYTES=%lld\nUPDATE_SECONDS=%.3f\n", static_cast<long long>(bytes), seconds);
        return 0;
    }
    double seconds = TimeIdleLaunch(manager, listUrl, root);
    if (seconds < 0) return 1;
    PrintResults("IDLE_SECONDS=%.3f\n", seconds);
    return 0;
}
