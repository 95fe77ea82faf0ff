// The whole resource update against nginx on 127.0.0.1, serving CDNs that the
// content packer built (tests/update/make_test_cdns.py): the resource manager
// is driven directly, the way the update flow drives it, without windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "afx/ScopedWin.h"
#include "download/ShortTimings.h"
#include "download/TraceCapture.h"
#include "support/TestEnv.h"
#include "update/LauncherStaging.h"
#include "update/ResourceList.h"
#include "update/ResourceManager.h"
#include "update/UpdateTestSupport.h"
#include "util/FileUtils.h"
#include "util/Md5.h"
#include "util/TextEncoding.h"

namespace {

typedef ResourceManagerProgressState S;

struct Report {
    int state;
    int64_t downloaded;  // DownloadProgress: downloaded and total; RequestDownloadTotalSize: the size
    int64_t total;
    DWORD thread;  // the thread that reported it
};

// Takes the values a report carries.
struct ValueReceiver : UpdateReports {
    void OnDownloadTotalSize(int64_t totalSize) override { first = totalSize; }
    void OnDownloadProgress(int64_t downloaded, int64_t total) override {
        first = downloaded;
        second = total;
    }
    void OnVerifyProgress(int64_t read, int64_t total) override {
        first = read;
        second = total;
    }
    int64_t first = 0;
    int64_t second = 0;
};

// Every report the manager makes, from whichever thread, run at once.
class Recorder {
public:
    void Add(ResourceManagerProgressState state, const UpdateReport& report) {
        ValueReceiver values;
        report(values);
        Report r = {static_cast<int>(state), values.first, values.second, ::GetCurrentThreadId()};
        ScopedLock hold(lock_);
        reports_.push_back(r);
        ::SetEvent(changed_.Get());
    }
    void Clear() {
        ScopedLock hold(lock_);
        reports_.clear();
    }
    std::vector<Report> Reports() {
        ScopedLock hold(lock_);
        return reports_;
    }
    // The first of the states reported, or 0 after the time-out.
    int WaitForOneOf(const std::set<int>& states, DWORD timeoutMs = 120000) {
        DWORD start = ::GetTickCount();
        for (;;) {
            for (const Report& r : Reports()) {
                if (states.count(r.state)) return r.state;
            }
            if (::GetTickCount() - start > timeoutMs) return 0;
            ::WaitForSingleObject(changed_.Get(), 100);
        }
    }

private:
    CriticalSection lock_;
    std::vector<Report> reports_;
    ScopedHandle changed_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

// The downloader and manager every run of this file uses, with the recorder
// they report to: made once, before any worker runs, with retries and worker
// passes shortened.
struct Update {
    ShortTimings timings;
    Recorder recorder;
    CResourceManager manager;
    Update() {
        manager.SetReportPoster(
            [this](ResourceManagerProgressState state, UpdateReport report) { recorder.Add(state, report); });
    }
};

Update& TheUpdate() {
    static Update update;
    return update;
}

Recorder& TheRecorder() { return TheUpdate().recorder; }

CResourceManager& TheManager() { return TheUpdate().manager; }

std::wstring ListUrl(const std::wstring& cdnCase) { return NginxBaseUrl() + L"update/" + cdnCase + L"/conf/list.txt"; }

// One run as the update flow makes it: Initialize; after the list the
// comparison; after the size report (the disk check) the launcher batch or
// else the resource batch.
std::vector<Report> RunUpdateFrom(const std::wstring& root, const std::wstring& listUrl, bool repair = false) {
    Recorder& recorder = TheRecorder();
    recorder.Clear();
    CResourceManager& manager = TheManager();
    manager.Initialize(root, root, listUrl);
    const int ends[] = {S::CdnCompareFailed, S::ResourceDownloadFailed, S::LauncherDownloadFailed,
                        S::LauncherUpdateFinished, S::ResourceUpdateFinished};
    if (recorder.WaitForOneOf({S::CdnCompareFinished, S::CdnCompareFailed}) == S::CdnCompareFinished) {
        manager.StartComparison(repair);
        if (recorder.WaitForOneOf({S::RequestDownloadTotalSize, S::CdnCompareFailed}) == S::RequestDownloadTotalSize) {
            manager.StartBatches();
        }
    }
    EXPECT_NE(0, recorder.WaitForOneOf(std::set<int>(std::begin(ends), std::end(ends)))) << "no end state";
    return recorder.Reports();
}

std::vector<Report> RunUpdate(const std::wstring& root, const std::wstring& cdnCase, bool repair = false) {
    return RunUpdateFrom(root, ListUrl(cdnCase), repair);
}

// The steps of a run up to asking for the CDN list (both local lists, then
// the list), followed by rest.
std::vector<int> AfterListAsked(std::initializer_list<int> rest) {
    std::vector<int> steps = {S::LocalCheckStarted, S::LocalCheckFinished, S::LauncherInfoStarted,
                              S::LauncherInfoFinished, S::CdnCompareStarted};
    steps.insert(steps.end(), rest);
    return steps;
}

// The states in order, a run of DownloadProgress (or VerifyProgress) as one.
std::vector<int> States(const std::vector<Report>& reports) {
    std::vector<int> out;
    for (const Report& r : reports) {
        if ((r.state == S::DownloadProgress || r.state == S::VerifyProgress) && !out.empty() && out.back() == r.state)
            continue;
        out.push_back(r.state);
    }
    return out;
}

int64_t ReportedTotal(const std::vector<Report>& reports) {
    for (const Report& r : reports) {
        if (r.state == S::RequestDownloadTotalSize) return r.downloaded;
    }
    return -1;
}

// Every step but the download counter is reported by the manager's own
// thread, the one its state belongs to: neither the caller's nor a worker's.
void ExpectStepsFromTheUpdateThread(const std::vector<Report>& reports) {
    std::set<DWORD> threads;
    for (const Report& r : reports) {
        if (r.state != S::DownloadProgress) threads.insert(r.thread);
    }
    EXPECT_EQ(1u, threads.size());
    EXPECT_EQ(0u, threads.count(::GetCurrentThreadId()));
}

// Progress within a batch: one total, counts that never go back, the last one complete.
void ExpectProgressCompletes(const std::vector<Report>& reports, int64_t batchTotal) {
    int64_t previous = 0;
    int count = 0;
    for (const Report& r : reports) {
        if (r.state != S::DownloadProgress) continue;
        ++count;
        EXPECT_EQ(batchTotal, r.total);
        EXPECT_GE(r.downloaded, previous);
        previous = r.downloaded;
    }
    EXPECT_GT(count, 0);
    EXPECT_EQ(batchTotal, previous);
}

// The CDN list of a case, as the packer wrote it (plus what the case added).
std::vector<ResoureConfigInfo> CdnRows(const std::wstring& cdnCase) {
    std::wstring text;
    ReadUtf8TextFile(NginxRootFolder() + L"update\\" + cdnCase + L"\\conf\\list.txt", &text);
    std::vector<ResoureConfigInfo> rows;
    ParseResourceList(text, &rows);
    return rows;
}

// The first entry of every name, game resources or launcher files.
ResourceInfoMap CdnMap(const std::wstring& cdnCase, bool launcher) {
    ResourceInfoMap map;
    for (const auto& row : CdnRows(cdnCase)) {
        if (IsLauncherCategory(row.category) == launcher) map.emplace(row.name, row);
    }
    return map;
}

std::wstring SourceFile(const std::wstring& cdnCase, const wchar_t* half, const std::wstring& name) {
    return L"C:\\cdn-src\\update\\" + cdnCase + L"\\" + half + L"\\" + name;
}

std::string VersionText(const ResourceInfoMap& map) {
    std::wstring text;
    FormatResourceList(map, &text);
    return TextToUtf8String(text);
}

ResourceInfoMap ReadVersionFile(const std::wstring& root) {
    std::wstring text;
    std::vector<ResoureConfigInfo> rows;
    if (ReadUtf8TextFile(root + L"version.txt", &text)) ParseResourceList(text, &rows);
    ResourceInfoMap map;
    for (const auto& row : rows) map.emplace(row.name, row);
    return map;
}

void ExpectInstalled(const std::wstring& root, const std::wstring& cdnCase, const ResourceInfoMap& entries) {
    for (const auto& e : entries) {
        std::string source = FileBytes(SourceFile(cdnCase, L"game", e.first));
        ASSERT_TRUE(FileExists(root + L"game\\" + e.first)) << e.first;
        EXPECT_TRUE(source == FileBytes(root + L"game\\" + e.first)) << e.first;
        EXPECT_FALSE(FileExists(root + L"game\\" + e.first + L".drelpart")) << e.first;
    }
}

// version.txt names only files whose bytes have the MD5 it gives them.
void ExpectVersionFileTruthful(const std::wstring& root) {
    for (const auto& e : ReadVersionFile(root)) {
        EXPECT_TRUE(SameMd5Hex(Md5OfBytesHex(FileBytes(root + L"game\\" + e.first)), e.second.md5)) << e.first;
    }
}

FILETIME LastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// The case's package that make_test_cdns.py held back (it answers 404 meanwhile).
class HeldPackage {
public:
    HeldPackage(const std::wstring& cdnCase, const std::wstring& folder)
        : path_(NginxRootFolder() + L"update\\" + cdnCase + L"\\" + folder + L"\\tq_game.tqpkg") {
        Hold();
    }
    ~HeldPackage() { Hold(); }
    void Hold() { ::MoveFileW(path_.c_str(), (path_ + L".held").c_str()); }
    void Release() { ::MoveFileW((path_ + L".held").c_str(), path_.c_str()); }

private:
    std::wstring path_;
};

class ResourceManagerUpdate : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(NginxBaseUrl().empty()) << "the nginx fixture did not run"; }
};

}  // namespace

TEST_F(ResourceManagerUpdate, FirstInstallThenNothingToDo) {
    std::wstring root = FreshTestFolder(L"update-full");
    ResourceInfoMap cdn = CdnMap(L"full", false);
    int64_t total = 0;
    for (const auto& e : cdn) total += e.second.size;

    std::unique_ptr<TraceCapture> trace(new TraceCapture());
    auto reports = RunUpdate(root, L"full");
    EXPECT_EQ(AfterListAsked({S::CdnCompareFinished, S::RequestDownloadTotalSize, S::ResourceDownloadStarted,
                              S::DownloadProgress, S::ResourceUpdateFinished}),
              States(reports));
    const std::wstring lines[] = {L"初始化本地资源信息", L"资源配置文件路径:\t" + root + L"version.txt",
                                  L"初始化本地资源信息完成，配置数量0", L"初始化Launcher信息",
                                  L"资源配置文件路径:\t" + root + L"launcher_manifest.txt",
                                  L"初始化Launcher配置信息完成，配置数量0", L"初始化cdn资源信息",
                                  L"开始比对CDN与本地Launcher", L"Launcher校验完毕,没有Launcher资源需要更新",
                                  L"开始比对CDN与本地资源"};
    for (const std::wstring& line : lines) EXPECT_EQ(1, trace->Count(line)) << TextToAnsi(line);
    trace.reset();
    EXPECT_EQ(total, ReportedTotal(reports));
    ExpectProgressCompletes(reports, total);
    ExpectStepsFromTheUpdateThread(reports);
    ExpectInstalled(root, L"full", cdn);
    EXPECT_EQ(0u, FileBytes(root + L"game\\empty.dat").size());
    EXPECT_GT(FileBytes(root + L"game\\big\\video.bin").size(), 10u * 1024 * 1024);
    EXPECT_EQ(VersionText(cdn), FileBytes(root + L"version.txt"));  // ordinal order, CR LF, UTF-8
    EXPECT_FALSE(FileExists(root + L"version.txt.new"));

    // The resource hash: MD5 of the md5 texts in name order.
    std::wstring md5s;
    for (const auto& e : cdn) md5s += e.second.md5;
    EXPECT_EQ(Md5OfText(md5s), TheManager().ComputeResourceHash());

    FILETIME before = LastWrite(root + L"game\\a.txt");
    trace.reset(new TraceCapture());
    reports = RunUpdate(root, L"full");
    EXPECT_EQ(AfterListAsked({S::CdnCompareFinished, S::RequestDownloadTotalSize, S::ResourceUpdateFinished}),
              States(reports));
    EXPECT_EQ(1, trace->Count(L"初始化本地资源信息完成，配置数量" + std::to_wstring(cdn.size())));
    EXPECT_EQ(1, trace->Count(L"资源校验完毕,没有资源需要更新"));
    trace.reset();
    EXPECT_TRUE(SameTime(before, LastWrite(root + L"game\\a.txt")));
    EXPECT_EQ(VersionText(cdn), FileBytes(root + L"version.txt"));
}

TEST_F(ResourceManagerUpdate, IncrementalUpdateMovesOnlyTheChangedFiles) {
    std::wstring root = FreshTestFolder(L"update-incremental");
    auto first = RunUpdate(root, L"incr1");
    ASSERT_EQ(S::ResourceUpdateFinished, States(first).back());
    FILETIME b = LastWrite(root + L"game\\b.txt");
    FILETIME x = LastWrite(root + L"game\\keep\\x.bin");
    ::Sleep(50);

    ResourceInfoMap v2 = CdnMap(L"incr2", false);
    auto reports = RunUpdate(root, L"incr2");
    EXPECT_EQ(AfterListAsked({S::CdnCompareFinished, S::RequestDownloadTotalSize, S::ResourceDownloadStarted,
                              S::DownloadProgress, S::ResourceUpdateFinished}),
              States(reports));
    int64_t changed = v2[L"a.txt"].size + v2[L"d.txt"].size;
    EXPECT_EQ(changed, ReportedTotal(reports));
    ExpectProgressCompletes(reports, changed);
    ExpectInstalled(root, L"incr2", v2);
    EXPECT_FALSE(FileExists(root + L"game\\c.txt"));
    EXPECT_TRUE(SameTime(b, LastWrite(root + L"game\\b.txt")));
    EXPECT_TRUE(SameTime(x, LastWrite(root + L"game\\keep\\x.bin")));
    EXPECT_EQ(VersionText(v2), FileBytes(root + L"version.txt"));
}

TEST_F(ResourceManagerUpdate, AVersionFileThatCannotBeReplacedStopsTheRunBeforeAnyFileIsTouched) {
    std::wstring root = FreshTestFolder(L"update-unsaved");
    ASSERT_EQ(S::ResourceUpdateFinished, States(RunUpdate(root, L"incr1")).back());
    ResourceInfoMap v1 = CdnMap(L"incr1", false);
    std::string listed = FileBytes(root + L"version.txt");
    {
        // Another program holds version.txt open without letting it be replaced.
        ScopedFileHandle held(::CreateFileW((root + L"version.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held.IsValid());
        auto states = States(RunUpdate(root, L"incr2"));
        EXPECT_EQ(S::ResourceDownloadFailed, states.back());
        EXPECT_EQ(0, std::count(states.begin(), states.end(), S::ResourceDownloadStarted));  // no batch started
    }
    ExpectInstalled(root, L"incr1", v1);  // a.txt not replaced, c.txt not withdrawn, d.txt not added
    EXPECT_FALSE(FileExists(root + L"game\\d.txt"));
    EXPECT_TRUE(listed == FileBytes(root + L"version.txt"));
}

namespace {

// Starts the "clock" case's batch in root: the small files arrive at once, the
// long one at a byte a second, never completing. Gives version.txt once it
// names every small file (a minute at most), or an empty map.
ResourceInfoMap StartTheClockCase(const std::wstring& root) {
    ResourceInfoMap cdn = CdnMap(L"clock", false);
    Recorder& recorder = TheRecorder();
    CResourceManager& manager = TheManager();
    recorder.Clear();
    manager.Initialize(root, root, ListUrl(L"clock"));
    if (recorder.WaitForOneOf({S::CdnCompareFinished, S::CdnCompareFailed}) != S::CdnCompareFinished)
        return ResourceInfoMap();
    manager.StartComparison(false);
    if (recorder.WaitForOneOf({S::RequestDownloadTotalSize, S::CdnCompareFailed}) != S::RequestDownloadTotalSize)
        return ResourceInfoMap();
    manager.StartBatches();
    for (int i = 0; i < 600; ++i) {
        ResourceInfoMap listed = ReadVersionFile(root);
        if (listed.size() == cdn.size() - 1 && !listed.count(L"zz\\long.bin")) return listed;
        ::Sleep(100);
    }
    return ResourceInfoMap();
}

}  // namespace

TEST_F(ResourceManagerUpdate, VersionFileFollowsTheClockWhileALongFileIsStillArriving) {
    // version.txt must name every small file while the long one still
    // arrives: no further file completing is needed for a save.
    std::wstring root = FreshTestFolder(L"update-clock");
    EXPECT_FALSE(StartTheClockCase(root).empty());
    ExpectVersionFileTruthful(root);
    TheManager().Downloader().StopAll();
    EXPECT_EQ(S::ResourceDownloadFailed,
              TheRecorder().WaitForOneOf({S::ResourceDownloadFailed, S::ResourceUpdateFinished}));
    EXPECT_FALSE(FileExists(root + L"game\\zz\\long.bin"));  // never left with unverified bytes
}

// Paused while the long file still arrives: no failure, every verified file
// stays named, the file in the making is gone; resumed, the batch goes on.
TEST_F(ResourceManagerUpdate, APauseIsNoFailureAndKeepsEveryVerifiedFile) {
    std::wstring root = FreshTestFolder(L"update-pause");
    ResourceInfoMap named = StartTheClockCase(root);
    ASSERT_FALSE(named.empty());
    Recorder& recorder = TheRecorder();
    CResourceManager& manager = TheManager();
    manager.PauseDownload();
    // Told once no worker runs any more.
    ASSERT_EQ(S::DownloadPaused,
              recorder.WaitForOneOf({S::DownloadPaused, S::ResourceDownloadFailed, S::ResourceUpdateFinished}));
    EXPECT_EQ(named.size(), ReadVersionFile(root).size());
    ExpectVersionFileTruthful(root);
    EXPECT_FALSE(FileExists(root + L"game\\zz\\long.bin"));
    EXPECT_FALSE(FileExists(root + L"game\\zz\\long.bin.drelpart"));

    recorder.Clear();
    TraceCapture trace;
    manager.ResumeDownload();
    // Workers start again for the queue (the long file).
    ASSERT_TRUE(trace.WaitFor(L"开始建立下载任务，剩余可用线程\t3", 30000));
    manager.Downloader().StopAll();
    EXPECT_EQ(S::ResourceDownloadFailed, recorder.WaitForOneOf({S::ResourceDownloadFailed, S::ResourceUpdateFinished}));
}

TEST_F(ResourceManagerUpdate, AFileDeeperThanMaxPathInstallsAndCountsAsInstalled) {
    std::wstring root = FreshTestFolder(L"update-deep");
    ResourceInfoMap cdn = CdnMap(L"deep", false);
    ASSERT_EQ(S::ResourceUpdateFinished, States(RunUpdate(root, L"deep")).back());
    size_t longest = 0;
    for (const auto& e : cdn) {
        std::wstring path = root + L"game\\" + e.first;
        longest = std::max(longest, path.size());
        EXPECT_TRUE(FileBytes(LongPathForm(SourceFile(L"deep", L"game", e.first))) == FileBytes(LongPathForm(path)))
            << e.first;
    }
    EXPECT_GT(longest, 300u);
    EXPECT_EQ(VersionText(cdn), FileBytes(root + L"version.txt"));
    // The next run finds it on the disk: nothing to fetch.
    EXPECT_EQ(0, ReportedTotal(RunUpdate(root, L"deep")));
}

TEST_F(ResourceManagerUpdate, LauncherBatchStagesItsFilesByteForByte) {
    std::wstring root = FreshTestFolder(L"update-launcher");
    ResourceInfoMap launcher = CdnMap(L"launcher", true);
    ResourceInfoMap game = CdnMap(L"launcher", false);
    int64_t launcherTotal = 0;
    for (const auto& e : launcher) launcherTotal += e.second.size;

    auto reports = RunUpdate(root, L"launcher");
    EXPECT_EQ(AfterListAsked({S::CdnCompareFinished, S::RequestDownloadTotalSize, S::LauncherDownloadStarted,
                              S::DownloadProgress, S::LauncherUpdateFinished}),
              States(reports));
    EXPECT_EQ(launcherTotal + game[L"g1.txt"].size, ReportedTotal(reports));  // both halves counted
    ExpectProgressCompletes(reports, launcherTotal);

    // Status 1, one record per file in arrival order (one range: list order),
    // then the manifest of the launcher map.
    auto le32 = [](size_t v) {
        uint32_t u = static_cast<uint32_t>(v);
        return std::string(reinterpret_cast<char*>(&u), 4);
    };
    std::string expected(1, '\x01');
    std::wstring manifest;
    for (const auto& e : launcher) {
        std::string name = TextToAnsi(e.first);
        std::string content = FileBytes(SourceFile(L"launcher", L"launcher", e.first));
        expected += le32(name.size()) + name + le32(content.size()) + content;
        manifest += e.first + L"=" + e.second.md5 + L"\r\n";
    }
    std::string manifestBytes = TextToUtf8String(manifest);
    expected += le32(21) + "launcher_manifest.txt" + le32(manifestBytes.size()) + manifestBytes;
    EXPECT_TRUE(expected == FileBytes(StagingFilePath(root)));
    EXPECT_EQ("\x01\x02\x03", FileBytes(root + L"plugins\\a.dll"));  // the copy stays for the entrance program
    // The game resources wait for the restarted launcher.
    EXPECT_FALSE(FileExists(root + L"game\\g1.txt"));
    EXPECT_FALSE(FileExists(root + L"version.txt"));
    EXPECT_FALSE(FileExists(root + L"launcher_manifest.txt"));
    EXPECT_EQ(L"", TheManager().ComputeResourceHash());  // no version.txt
}

TEST_F(ResourceManagerUpdate, AFailedLauncherBatchDeletesTheStagingFile) {
    std::wstring root = FreshTestFolder(L"update-launcher-fail");
    auto states = States(RunUpdate(root, L"launcherfail"));
    ASSERT_GE(states.size(), 9u);
    EXPECT_EQ(AfterListAsked({S::CdnCompareFinished, S::RequestDownloadTotalSize, S::LauncherDownloadStarted}),
              std::vector<int>(states.begin(), states.begin() + 8));
    EXPECT_EQ(S::LauncherDownloadFailed, states.back());
    EXPECT_FALSE(FileExists(StagingFilePath(root)));
}

TEST_F(ResourceManagerUpdate, AFailedBatchKeepsWhatArrivedAndTheNextRunFetchesTheRest) {
    std::wstring root = FreshTestFolder(L"update-fail");
    HeldPackage missing(L"fail", L"res2");
    ResourceInfoMap cdn = CdnMap(L"fail", false);

    auto reports = RunUpdate(root, L"fail");
    auto states = States(reports);
    EXPECT_EQ(AfterListAsked({S::CdnCompareFinished, S::RequestDownloadTotalSize, S::ResourceDownloadStarted}),
              std::vector<int>(states.begin(), states.begin() + 8));
    EXPECT_EQ(S::ResourceDownloadFailed, states.back());
    ResourceInfoMap arrived = ReadVersionFile(root);
    EXPECT_FALSE(arrived.empty());
    EXPECT_LT(arrived.size(), cdn.size());
    for (const auto& e : arrived) {
        ASSERT_TRUE(cdn.count(e.first)) << e.first;
        EXPECT_EQ(cdn[e.first].md5, e.second.md5) << e.first;
        EXPECT_NE(L"res2", cdn[e.first].remoteFolder) << e.first;
    }
    ExpectInstalled(root, L"fail", arrived);
    ExpectVersionFileTruthful(root);

    missing.Release();
    int64_t rest = 0;
    for (const auto& e : cdn) {
        if (!arrived.count(e.first)) rest += e.second.size;
    }
    reports = RunUpdate(root, L"fail");
    EXPECT_EQ(S::ResourceUpdateFinished, States(reports).back());
    EXPECT_EQ(rest, ReportedTotal(reports));  // only what had not arrived
    ExpectInstalled(root, L"fail", cdn);
    EXPECT_EQ(VersionText(cdn), FileBytes(root + L"version.txt"));
}

// With incr1 installed, lists made from incr2's (which would modify a.txt,
// delete c.txt and add d.txt) but each with one bad line.
TEST_F(ResourceManagerUpdate, ABadListIsRefusedWholeAndChangesNothing) {
    std::wstring root = FreshTestFolder(L"update-hostile");
    ASSERT_EQ(S::ResourceUpdateFinished, States(RunUpdate(root, L"incr1")).back());
    const std::map<std::wstring, std::string> installed = TreeBytes(root);
    ASSERT_TRUE(installed.count(L"version.txt") && installed.count(L"game\\c.txt"));

    const std::wstring conf = NginxRootFolder() + L"update\\incr2\\conf\\";
    const std::string good = FileBytes(conf + L"list.txt");
    auto line = [&](const std::string& name) {  // the list's line for name, without its line end
        size_t start = good.find(name + "=");
        return good.substr(start, good.find("\r\n", start) - start);
    };
    auto field = [&](const std::string& name, int column) {
        std::string rest = line(name);
        for (int i = 0; i < column; ++i) rest = rest.substr(rest.find('=') + 1);
        return rest.substr(0, rest.find('='));
    };
    // The list with one column of name's line replaced.
    auto with = [&](const std::string& name, int column, const std::string& value) {
        std::string l = line(name);
        size_t start = 0;
        for (int i = 0; i < column; ++i) start = l.find('=', start) + 1;
        std::string changed = l.substr(0, start) + value + l.substr(std::min(l.find('=', start), l.size()));
        std::string list = good;
        return list.replace(list.find(l), l.size(), changed);
    };
    const std::string a = line("a.txt");
    const std::string aRange = a.substr(a.find('='));  // "=md5=folder=offset=size"
    const std::string cases[] = {
        "<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<body>Sign in to continue</body></html>\r\n",
        good.substr(0, good.find(line("d.txt")) + line("d.txt").find('=') + 11),  // cut inside d.txt's md5
        with("a.txt", 1, "G" + field("a.txt", 1).substr(1)),
        with("a.txt", 3, "-5"),
        with("a.txt", 3, "9223372036854775800"),  // offset + size overflows
        with("a.txt", 4, "-1"),
        with("a.txt", 4, "4294967296"),
        good + "A.TXT" + aRange + "\r\n",
        good + "keep/x.bin" + line("keep\\x.bin").substr(line("keep\\x.bin").find('=')) + "\r\n",
        good + "version.txt" + aRange + "=launcher\r\n",
        good + "game\\b.txt" + aRange + "=launcher\r\n",
        good + "..\\evil.txt" + aRange + "\r\n",
    };
    int n = 0;
    for (const std::string& list : cases) {
        std::wstring name = L"bad-" + std::to_wstring(++n) + L".txt";
        ASSERT_TRUE(WriteFileBytes(conf + name, list));
        TraceCapture trace;
        auto reports = RunUpdateFrom(root, NginxBaseUrl() + L"update/incr2/conf/" + name);
        EXPECT_EQ(AfterListAsked({S::CdnCompareFailed}), States(reports)) << list;
        EXPECT_EQ(std::wstring::npos, trace.Text().find(L"tq_game.tqpkg")) << list;  // nothing fetched
        EXPECT_TRUE(installed == TreeBytes(root)) << list;
    }
    EXPECT_FALSE(FileExists(root + L"evil.txt"));
    EXPECT_FALSE(FileExists(L"C:\\drel-test\\evil.txt"));
    // The good list of the same release still goes through.
    EXPECT_EQ(S::ResourceUpdateFinished, States(RunUpdate(root, L"incr2")).back());
    EXPECT_FALSE(FileExists(root + L"game\\c.txt"));
}

TEST_F(ResourceManagerUpdate, AListWithoutGameResourcesDeletesNothing) {
    std::wstring root = FreshTestFolder(L"update-empty");
    ASSERT_TRUE(WriteFileBytes(root + L"version.txt", "x.txt=2E\r\nb.txt=1F\r\n"));
    ASSERT_TRUE(WriteFileBytes(root + L"game\\x.txt", "installed"));
    ASSERT_TRUE(WriteFileBytes(root + L"game\\b.txt", "installed too"));
    TraceCapture trace;
    auto reports = RunUpdate(root, L"empty");
    EXPECT_EQ(1, trace.Count(L"校验cdn资源信息失败"));
    EXPECT_EQ(AfterListAsked({S::CdnCompareFailed}), States(reports));
    EXPECT_EQ("installed", FileBytes(root + L"game\\x.txt"));
    EXPECT_EQ("x.txt=2E\r\nb.txt=1F\r\n", FileBytes(root + L"version.txt"));
    // The resource hash takes the md5 texts in name order, whatever the file's order.
    EXPECT_EQ(Md5OfText(L"1F2E"), TheManager().ComputeResourceHash());
}

// The game is told which release it runs on: a version.txt without entries
// is a release of nothing, whose hash is the MD5 of nothing; only a missing
// version.txt gives no hash.
TEST_F(ResourceManagerUpdate, TheResourceHashOfAnEmptyVersionFileIsTheMd5OfNothing) {
    const struct { const char* versionText; std::wstring hash; } cases[] = {
        {nullptr, L""},
        {"", L"D41D8CD98F00B204E9800998ECF8427E"},
        {"\r\n", L"D41D8CD98F00B204E9800998ECF8427E"},
        {"b.txt=2E\r\na.txt=1F\r\n", Md5OfText(L"1F2E")},
    };
    for (const auto& c : cases) {
        std::wstring root = FreshTestFolder(L"update-hash");
        if (c.versionText) {
            ASSERT_TRUE(WriteFileBytes(root + L"version.txt", c.versionText));
        }
        // A list that is not there: the run stops before it writes anything.
        EXPECT_EQ(AfterListAsked({S::CdnCompareFailed}), States(RunUpdate(root, L"no-such-case")));
        EXPECT_EQ(c.hash, TheManager().ComputeResourceHash()) << (c.versionText ? c.versionText : "none");
    }
}

TEST_F(ResourceManagerUpdate, WrongBytesFromTheCdnAreNeverTakenAndTheInstalledFileStays) {
    // A stale edge: a.bin's range is a valid member of its old content.
    std::wstring root = FreshTestFolder(L"update-stale");
    ASSERT_EQ(S::ResourceUpdateFinished, States(RunUpdate(root, L"staleold")).back());
    std::string installed = FileBytes(root + L"game\\a.bin");
    EXPECT_EQ(S::ResourceDownloadFailed, States(RunUpdate(root, L"stale")).back());
    EXPECT_TRUE(installed == FileBytes(root + L"game\\a.bin"));
    EXPECT_FALSE(FileExists(root + L"game\\a.bin.drelpart"));
    ResourceInfoMap listed = ReadVersionFile(root);
    EXPECT_EQ(0u, listed.count(L"a.bin"));  // neither the new MD5 nor the old one, until it is replaced
    EXPECT_EQ(1u, listed.count(L"b.bin"));
    ExpectVersionFileTruthful(root);
    // The next run finds a.bin on the disk but not in version.txt: it still
    // replaces it only through the temporary name, so a second failure leaves
    // the player's file whole.
    EXPECT_EQ(S::ResourceDownloadFailed, States(RunUpdate(root, L"stale")).back());
    EXPECT_TRUE(installed == FileBytes(root + L"game\\a.bin"));
    EXPECT_FALSE(FileExists(root + L"game\\a.bin.drelpart"));

    // An error page where the package should be: nothing is installed from it.
    root = FreshTestFolder(L"update-notgzip");
    EXPECT_EQ(S::ResourceDownloadFailed, States(RunUpdate(root, L"notgzip")).back());
    EXPECT_FALSE(FileExists(root + L"game\\a.bin"));
    EXPECT_EQ(0u, ReadVersionFile(root).count(L"a.bin"));
}

TEST_F(ResourceManagerUpdate, ARepairFetchesExactlyTheDamagedAndMissingFiles) {
    std::wstring root = FreshTestFolder(L"update-repair");
    ASSERT_EQ(S::ResourceUpdateFinished, States(RunUpdate(root, L"incr1")).back());
    ResourceInfoMap cdn = CdnMap(L"incr1", false);
    std::string damaged = FileBytes(root + L"game\\b.txt");
    damaged[0] ^= 0x20;
    ASSERT_TRUE(WriteFileBytes(root + L"game\\b.txt", damaged));  // same size, other bytes
    ASSERT_TRUE(::DeleteFileW((root + L"game\\keep\\x.bin").c_str()));

    // Without a repair, version.txt is trusted for b.txt: nothing but x.bin comes back.
    auto plain = RunUpdate(root, L"incr1");
    EXPECT_EQ(cdn[L"keep\\x.bin"].size, ReportedTotal(plain));
    EXPECT_TRUE(damaged == FileBytes(root + L"game\\b.txt"));
    ASSERT_TRUE(::DeleteFileW((root + L"game\\keep\\x.bin").c_str()));

    TraceCapture trace;
    auto reports = RunUpdate(root, L"incr1", true);
    EXPECT_EQ(AfterListAsked({S::CdnCompareFinished, S::VerifyProgress, S::RequestDownloadTotalSize,
                              S::ResourceDownloadStarted, S::DownloadProgress, S::ResourceUpdateFinished}),
              States(reports));
    EXPECT_EQ(cdn[L"b.txt"].size + cdn[L"keep\\x.bin"].size, ReportedTotal(reports));
    EXPECT_EQ(1, trace.Count(L"游戏文件校验失败\tb.txt"));
    // What was read: the files the update would have kept, all of their bytes.
    int64_t read = 0, toRead = -1;
    for (const Report& r : reports) {
        if (r.state == S::VerifyProgress) {
            read = r.downloaded;
            toRead = r.total;
        }
    }
    int64_t kept = 0;
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt"})
        kept += FileBytes(SourceFile(L"incr1", L"game", name)).size();
    EXPECT_EQ(kept, toRead);
    EXPECT_EQ(kept, read);
    ExpectInstalled(root, L"incr1", cdn);
    EXPECT_EQ(VersionText(cdn), FileBytes(root + L"version.txt"));
    ExpectStepsFromTheUpdateThread(reports);
}

// Closed before any list was loaded (during the notice request), the manager
// has no version.txt to save: it writes none, also not in the current folder,
// which is the game root when the player started the launcher there.
TEST(ResourceManagerClose, BeforeTheListsAreLoadedWritesNoVersionFile) {
    std::wstring folder = FreshTestFolder(L"update-close-early");
    ASSERT_TRUE(WriteFileBytes(folder + L"version.txt", "a.txt=0123456789abcdef0123456789abcdef\r\n"));
    std::string listed = FileBytes(folder + L"version.txt");
    wchar_t previous[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetCurrentDirectoryW(MAX_PATH, previous));
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.c_str()));
    {
        CResourceManager manager;
        manager.StopForClose();
        EXPECT_EQ(L"", manager.ComputeResourceHash());  // stopped: nothing more runs
    }
    ::SetCurrentDirectoryW(previous);
    EXPECT_TRUE(listed == FileBytes(folder + L"version.txt"));
}

TEST_F(ResourceManagerUpdate, ANameThatChangedOnlyInCaseIsReplacedNeverDeletedFirst) {
    // version.txt says A.txt, the new list a.txt: one file on Windows. Deleting
    // the withdrawn name first would lose it when the download then fails.
    std::wstring root = FreshTestFolder(L"update-case");
    ASSERT_TRUE(WriteFileBytes(root + L"version.txt", "A.txt=0CC175B9C0F1B6A831C399E269772661\r\n"));
    ASSERT_TRUE(WriteFileBytes(root + L"game\\A.txt", "a"));
    HeldPackage first(L"incr1", L"res1"), second(L"incr1", L"res2");
    EXPECT_EQ(S::ResourceDownloadFailed, States(RunUpdate(root, L"incr1")).back());
    EXPECT_EQ("a", FileBytes(root + L"game\\a.txt"));
}
