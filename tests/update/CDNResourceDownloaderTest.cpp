#include <winsock2.h>  // before windows.h, for the test server
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "afx/ScopedWin.h"
#include "download/ShortTimings.h"
#include "download/TestHttpServer.h"
#include "download/TraceCapture.h"
#include "support/TestEnv.h"
#include "update/CDNResourceDownloader.h"
#include "update/LauncherStaging.h"
#include "update/UpdateTestSupport.h"
#include "update/UpdateTimings.h"
#include "util/FileUtils.h"
#include "util/Md5.h"
#include "util/TextEncoding.h"

namespace {

// A downloader of the test's own on an owner thread of the test's own, over
// the in-process HTTP server, with every callable recorded (on that thread).
class DownloaderFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        ASSERT_TRUE(owner.Start());
        root = FreshTestFolder(L"update-downloader");
        downloader.reset(new CCDNResourceDownloader(owner));
        downloader->resourceBaseUrl = server.BaseUrl();
        downloader->configUrl = server.BaseUrl() + L"conf/list.txt";
        downloader->resourceFilesFolder = root + L"game\\";
        downloader->launcherRoot = root;
        downloader->onConfigResult = [this](CDNDownloadState state, const std::wstring& text,
                                            const FailureCause& cause) {
            configStates.push_back(state);
            configText = text;
            configCause = cause;
            ::SetEvent(done.Get());
        };
        downloader->onBatchFinished = [this](CDNDownloadState state, CdnTaskKind kind, const FailureCause& cause) {
            batchStates.push_back(state);
            batchKinds.push_back(kind);
            batchCause = cause;
            ::SetEvent(done.Get());
        };
        downloader->onBatchPaused = [this](CdnTaskKind) {
            ++pauses;
            ::SetEvent(done.Get());
        };
        downloader->onFileInstalled = [this](const std::wstring& name, CdnTaskKind) { finished.push_back(name); };
        downloader->onDownloadProgress = [this](int64_t downloaded, int64_t total) {
            progress.push_back({downloaded, total});
            if (downloaded > progressMark) ::SetEvent(passedMark.Get());
        };
    }
    void TearDown() override {
        owner.Stop();        // nothing posted runs any more
        downloader.reset();  // joins the workers
    }

    // Runs work on the owner thread, where the downloader's own calls belong,
    // and waits for it; what the callables recorded may be read after it.
    void OnOwner(const std::function<void()>& work) { ASSERT_TRUE(owner.Call(work)); }
    void StartBatch(const std::vector<ResourceUpdateItem>& items, CdnTaskKind kind) {
        OnOwner([&] { downloader->StartBatch(items, kind); });
    }
    void StartConfigDownload() {
        OnOwner([&] { downloader->StartConfigDownload(); });
    }

    // An item of a package made of gzip members of the given contents, back to back.
    static std::vector<ResourceUpdateItem> PackageItems(const std::vector<std::wstring>& names,
                                                        const std::vector<std::string>& contents,
                                                        const std::wstring& folder, std::string* package) {
        std::vector<ResourceUpdateItem> items;
        for (size_t i = 0; i < names.size(); ++i) {
            std::string member = Gzip(contents[i]);
            ResourceUpdateItem item;
            item.name = names[i];
            item.cdnMd5 = AnsiToText(Md5OfBytesHex(contents[i]));
            item.change = ResourceChangeKind::Added;
            item.remoteFolder = folder;
            item.offset = static_cast<int64_t>(package->size());
            item.size = static_cast<uint32_t>(member.size());
            package->append(member);
            items.push_back(item);
        }
        return items;
    }

    // Waits for the next end (a list, a batch or a pause) and for the owner to
    // have handled everything posted before it.
    bool WaitDone() {
        bool ended = WaitFor(done.Get(), 60000);
        owner.Call([] {});
        return ended;
    }
    void Serve(const std::string& path, const std::string& bytes,
               TestHttpServer::Mode mode = TestHttpServer::kRanges, int failFirst = 0, int cutFirst = 0) {
        TestHttpServer::Resource resource;
        resource.bytes = bytes;
        resource.mode = mode;
        resource.failFirst = failFirst;
        resource.cutFirst = cutFirst;
        server.Add(path, resource);
    }

    // Every progress report is within the total and never below the one before;
    // the last one is exactly total.
    void ExpectProgressCountsEachByteOnce(int64_t total) {
        ASSERT_FALSE(progress.empty());
        int64_t previous = 0;
        for (const auto& p : progress) {
            EXPECT_LE(p.first, p.second);
            EXPECT_GE(p.first, previous);
            previous = p.first;
        }
        EXPECT_EQ(total, progress.back().first);
        EXPECT_EQ(total, progress.back().second);
    }

    TestHttpServer server;
    std::wstring root;
    TaskThread owner;
    std::unique_ptr<CCDNResourceDownloader> downloader;
    ScopedHandle done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    // Written on the owner thread, read by the test after WaitDone or OnOwner.
    std::vector<CDNDownloadState> configStates;
    std::wstring configText;
    FailureCause configCause;
    std::vector<CDNDownloadState> batchStates;
    std::vector<CdnTaskKind> batchKinds;
    FailureCause batchCause;
    int pauses = 0;
    // passedMark is set once a report counts more than progressMark bytes.
    int64_t progressMark = INT64_MAX;
    ScopedHandle passedMark{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::vector<std::wstring> finished;
    std::vector<std::pair<int64_t, int64_t>> progress;
};

}  // namespace

TEST_F(DownloaderFixture, ARetriedAttemptNeverCountsBytesTwice) {
    ShortTimings timings;
    std::string package;
    std::vector<std::string> contents = {TestHttpServer::Pattern(30000, 1), TestHttpServer::Pattern(50000, 2),
                                         TestHttpServer::Pattern(20000, 3)};
    auto items = PackageItems({L"a.bin", L"sub\\b.bin", L"c.bin"}, contents, L"p", &package);
    // The first answer: half the range, then a reset.
    Serve("/p/tq_game.tqpkg", package, TestHttpServer::kRanges, 0, 1);

    StartBatch(items, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());

    ASSERT_GE(server.Requests().size(), 2u);  // the batch really needed a second attempt
    ASSERT_EQ(1u, batchStates.size());
    EXPECT_EQ(CDNDownloadState::Succeeded, batchStates[0]);
    EXPECT_EQ(CdnTaskKind::GameResource, batchKinds[0]);
    ExpectProgressCountsEachByteOnce(static_cast<int64_t>(package.size()));
    EXPECT_EQ(contents[1], FileBytes(root + L"game\\sub\\b.bin"));
    EXPECT_EQ(3u, finished.size());
}

// Paused while a range is under way and resumed: the file cut short is
// fetched again from its start, and its bytes still count once.
TEST_F(DownloaderFixture, APausedAndResumedBatchCountsEachByteOnce) {
    ShortTimings timings;
    std::string package;
    std::vector<std::string> contents = {TestHttpServer::Pattern(40000, 4), TestHttpServer::Pattern(300000, 5)};
    auto items = PackageItems({L"first.bin", L"second.bin"}, contents, L"p", &package);
    TestHttpServer::Resource stall;
    stall.bytes = package;
    stall.mode = TestHttpServer::kStall;
    stall.stallAfter = static_cast<uint32_t>(items[1].offset) + 100000;  // a third of the second file
    server.Add("/p/tq_game.tqpkg", stall);

    progressMark = items[1].offset + 50000;
    StartBatch(items, CdnTaskKind::GameResource);
    // The first file and part of the second have been counted.
    ASSERT_TRUE(WaitFor(passedMark.Get(), 20000));
    OnOwner([&] { downloader->Pause(); });
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(1, pauses);
    server.Release();
    OnOwner([&] { downloader->Resume(); });
    ASSERT_TRUE(WaitDone());

    ASSERT_EQ(1u, batchStates.size());
    EXPECT_EQ(CDNDownloadState::Succeeded, batchStates[0]);
    ExpectProgressCountsEachByteOnce(static_cast<int64_t>(package.size()));
    EXPECT_EQ(contents[1], FileBytes(root + L"game\\second.bin"));
    EXPECT_EQ(2u, server.Requests().size());  // the second file came again, the first did not
}

// A pause handled just as the batch's last file is told (the player clicked
// as it ended) ends nothing and leaves nothing paused: the next batch runs.
TEST_F(DownloaderFixture, APauseAsTheBatchEndsLeavesNothingPaused) {
    ShortTimings timings;
    std::string package;
    auto items = PackageItems({L"only.bin"}, {"the only file"}, L"p", &package);
    Serve("/p/tq_game.tqpkg", package);
    downloader->onFileInstalled = [this](const std::wstring& name, CdnTaskKind) {
        finished.push_back(name);
        downloader->Pause();
    };
    StartBatch(items, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(1u, batchStates.size());
    EXPECT_EQ(CDNDownloadState::Succeeded, batchStates[0]);
    EXPECT_EQ(0, pauses);

    downloader->onFileInstalled = [this](const std::wstring& name, CdnTaskKind) { finished.push_back(name); };
    std::string second;
    auto again = PackageItems({L"again.bin"}, {"a second batch"}, L"q", &second);
    Serve("/q/tq_game.tqpkg", second);
    StartBatch(again, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(2u, batchStates.size());
    EXPECT_EQ(CDNDownloadState::Succeeded, batchStates[1]);
    EXPECT_EQ("a second batch", FileBytes(root + L"game\\again.bin"));
}

TEST_F(DownloaderFixture, AFailedLauncherBatchLeavesNoStagingFile) {
    ShortTimings timings;
    std::string package;
    auto items = PackageItems({L"a.dll"}, {"\x01\x02\x03"}, L"p", &package);
    Serve("/p/tq_game.tqpkg", package);
    std::string other;
    auto missing = PackageItems({L"z.dll"}, {"zz"}, L"missing", &other);  // answers 404
    items.push_back(missing[0]);

    StartBatch(items, CdnTaskKind::LauncherFile);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(1u, batchStates.size());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates[0]);
    EXPECT_EQ(CdnTaskKind::LauncherFile, batchKinds[0]);
    EXPECT_FALSE(FileExists(StagingFilePath(root)));
    // The cause is the answer for the missing package, naming its file.
    EXPECT_EQ(FailureKind::ServerAnswer, batchCause.kind);
    EXPECT_EQ(404, batchCause.code);
    EXPECT_EQ(L"z.dll", batchCause.file);
}

// One package is missing while another's server sends a byte a second: the
// batch ends with the missing package's last attempt, not with the drip.
TEST_F(DownloaderFixture, AFailedBatchEndsWhileAnotherPackageDrips) {
    ShortTimings timings;
    std::string package;
    auto items = PackageItems({L"slow.bin"}, {TestHttpServer::Pattern(200000, 4)}, L"slow", &package);
    TestHttpServer::Resource drip;
    drip.bytes = package;
    drip.mode = TestHttpServer::kDrip;
    drip.stallAfter = 1000;
    drip.dripMs = 1000;
    server.Add("/slow/tq_game.tqpkg", drip);
    std::string other;
    auto missing = PackageItems({L"gone.bin"}, {"gone"}, L"missing", &other);  // answers 404
    items.push_back(missing[0]);

    StartBatch(items, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());  // hang guard: the drip alone would take days
    ASSERT_EQ(1u, batchStates.size());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates[0]);
    EXPECT_FALSE(FileExists(root + L"game\\slow.bin"));
    EXPECT_TRUE(finished.empty());
}

TEST_F(DownloaderFixture, NamesOutsideTheRootAreNeverFetchedAndFailTheBatch) {
    ShortTimings timings;
    std::string package;
    auto items = PackageItems({L"ok.txt"}, {"good"}, L"p", &package);
    Serve("/p/tq_game.tqpkg", package);
    std::vector<ResourceUpdateItem> bad;
    for (const wchar_t* name : {L"..\\evil.txt", L"C:\\drel-test\\update-downloader\\evil2.txt", L"x/../../evil3.txt"}) {
        ResourceUpdateItem item = items[0];
        item.name = name;
        bad.push_back(item);
    }
    std::vector<ResourceUpdateItem> mixed = items;
    mixed.insert(mixed.end(), bad.begin(), bad.end());

    TraceCapture trace;
    StartBatch(mixed, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates.back());
    EXPECT_EQ("good", FileBytes(root + L"game\\ok.txt"));  // the good file still arrives
    EXPECT_EQ(1, trace.Count(L"资源路径非法\t..\\evil.txt"));

    // A batch of nothing but such names ends at once, failed.
    StartBatch(bad, CdnTaskKind::LauncherFile);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates.back());
    EXPECT_EQ(2u, batchStates.size());
    for (const wchar_t* path : {L"evil.txt", L"evil2.txt", L"evil3.txt", L"game\\evil.txt"}) {
        EXPECT_FALSE(FileExists(root + path)) << path;
    }
    EXPECT_FALSE(FileExists(L"C:\\drel-test\\evil.txt"));
    EXPECT_FALSE(FileExists(StagingFilePath(root)));
}

TEST_F(DownloaderFixture, TheCdnListInEitherEncoding) {
    ShortTimings timings;
    const struct { std::string bytes; std::wstring text; } cases[] = {
        {"a.txt=1=r=0=5\r\nb.txt=2=r=5=5=launcher\r\n", L"a.txt=1=r=0=5\r\nb.txt=2=r=5=5=launcher\r\n"},
        {"\xEF\xBB\xBF\xE4\xB8\xAD.txt=1\r\n", L"中.txt=1\r\n"},        // UTF-8 with a byte-order mark
        {"\xD6\xD0\xCE\xC4.txt=1\r\n", L"中文.txt=1\r\n"},              // not UTF-8: the ANSI code page
        {"", L""},
    };
    for (const auto& c : cases) {
        Serve("/conf/list.txt", c.bytes);
        StartConfigDownload();
        ASSERT_TRUE(WaitDone());
        ASSERT_EQ(CDNDownloadState::Succeeded, configStates.back());
        EXPECT_EQ(c.text, configText);
    }
    // The list is asked for with the local time as a fresh query.
    std::string target = server.Requests().back().target;
    ASSERT_EQ(std::string("/conf/list.txt?r=").size() + 14, target.size()) << target;
    EXPECT_EQ(0u, target.find("/conf/list.txt?r=20"));
    EXPECT_EQ(std::string::npos, target.find_first_not_of("0123456789", target.find('=') + 1));
    EXPECT_TRUE(batchStates.empty());

    // No whole list: every answer fails (503), a body shorter than its
    // Content-Length, one that only ends when the connection closes (cut at a
    // line end it would look whole), one in chunked framing (a CDN file has its
    // length), a 206 to a request without Range, and one with a zero byte,
    // which would end the text early.
    const std::string list = "a.txt=1=r=0=5\r\nb.txt=2=r=5=5\r\n";
    // Each with its cause, naming the list.
    const struct { std::string bytes; TestHttpServer::Mode mode; int failFirst; FailureKind cause; } failures[] = {
        {list, TestHttpServer::kRanges, 1000, FailureKind::ServerAnswer},
        {list, TestHttpServer::kShortBody, 0, FailureKind::NoConnection},
        {list, TestHttpServer::kNoLength, 0, FailureKind::BadAnswer},
        {list, TestHttpServer::kChunked, 0, FailureKind::BadAnswer},
        {list, TestHttpServer::kPartial, 0, FailureKind::BadAnswer},
        {"a.txt=1=r=0=5\r\n" + std::string(1, '\0') + "b.txt=2=r=5=5\r\n", TestHttpServer::kRanges, 0,
         FailureKind::BadAnswer},
    };
    for (const auto& f : failures) {
        Serve("/conf/list.txt", f.bytes, f.mode, f.failFirst);
        StartConfigDownload();
        ASSERT_TRUE(WaitDone());
        EXPECT_EQ(CDNDownloadState::Failed, configStates.back()) << f.mode;
        EXPECT_TRUE(configText.empty());
        EXPECT_EQ(f.cause, configCause.kind) << f.mode;
        EXPECT_EQ(L"list.txt", configCause.file) << f.mode;
    }
    EXPECT_TRUE(batchStates.empty());  // a configuration batch never ends as a file batch
}

TEST_F(DownloaderFixture, UrlsAndALateSegmentOfAnEarlierRun) {
    downloader->resourceBaseUrl = L"http://cdn.example/a/";
    EXPECT_EQ(L"http://cdn.example/a/res1/tq_game.tqpkg", downloader->BuildTaskUrl(L"res1", CdnTaskKind::GameResource));
    EXPECT_EQ(L"http://cdn.example/a/tq_game.tqpkg", downloader->BuildTaskUrl(L"", CdnTaskKind::LauncherFile));
    EXPECT_EQ(L"", downloader->BuildTaskUrl(L"res1", static_cast<CdnTaskKind>(9)));

    // A segment of tasks the downloader does not hold (an earlier run's, still
    // queued) gets no processor: nothing of it is requested.
    DownloadTaskInfo task(L"http://x/tq_game.tqpkg", L"same.bin", 2, L"", 0, 10);
    task.id = 12345;
    SegmentDownloadTaskInfo segment(task);
    EXPECT_EQ(std::vector<DownloadDataProcessor*>(1, nullptr), downloader->CreateProcessors(segment));
    // Its result changes nothing either.
    downloader->OnTaskResult(DownloadTaskResultInfo(task, kDownloadOk));
    OnOwner([] {});
    EXPECT_TRUE(finished.empty());
}

TEST_F(DownloaderFixture, AMemberThatWouldFillTheDriveFailsAndLeavesNothing) {
    ShortTimings timings;
    // 8 MiB of zeros pack into a few KiB; the drive has 1 MiB above the floor.
    std::string package;
    auto items = PackageItems({L"bomb.bin", L"fine.txt"}, {std::string(8u << 20, '\0'), "fine"}, L"p", &package);
    Serve("/p/tq_game.tqpkg", package);
    downloader->freeSpaceFloor = 64ull << 20;
    std::wstring bomb = root + L"game\\bomb.bin";
    downloader->freeSpaceQuery = [bomb](const std::wstring&, uint64_t* free) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        uint64_t used = ::GetFileAttributesExW(bomb.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
        *free = (64ull << 20) + (1u << 20) - std::min<uint64_t>(used, 1u << 20);
        return true;
    };
    StartBatch(items, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates.back());
    EXPECT_FALSE(FileExists(root + L"game\\bomb.bin"));
    EXPECT_FALSE(FileExists(root + L"game\\bomb.bin.drelpart"));
    // The failure says why: the drive, for that file.
    EXPECT_EQ(FailureKind::DiskFull, batchCause.kind);
    EXPECT_EQ(ERROR_DISK_FULL, batchCause.code);
    EXPECT_EQ(L"bomb.bin", batchCause.file);
}

// The cause a failed batch tells is the failure that happened, naming its file.
TEST_F(DownloaderFixture, AFailedBatchTellsItsCause) {
    ShortTimings timings;
    std::string package;
    auto items = PackageItems({L"a.bin", L"held.bin"}, {"first", "second"}, L"p", &package);
    Serve("/p/tq_game.tqpkg", package);
    // Bytes that are not the file: its MD5 is checked.
    std::vector<ResourceUpdateItem> wrong = items;
    wrong[1].cdnMd5 = L"0123456789ABCDEF0123456789ABCDEF";
    StartBatch(wrong, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates.back());
    EXPECT_EQ(FailureKind::ContentCheck, batchCause.kind);
    EXPECT_EQ(L"held.bin", batchCause.file);

    // A file another program holds open, which the verified one must replace.
    ASSERT_TRUE(WriteFileBytes(root + L"game\\held.bin", "installed"));
    ScopedFileHandle held(::CreateFileW((root + L"game\\held.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held.IsValid());
    std::vector<ResourceUpdateItem> replacing = items;
    replacing[1].change = ResourceChangeKind::Modified;
    StartBatch(replacing, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates.back());
    EXPECT_EQ(FailureKind::FileInUse, batchCause.kind) << "code " << batchCause.code;
    EXPECT_EQ(L"held.bin", batchCause.file);
    held.Reset();
    EXPECT_EQ("installed", FileBytes(root + L"game\\held.bin"));

    // The server's answer, with its status.
    TestHttpServer::Resource busy;
    busy.bytes = package;
    busy.failFirst = 1000;  // 503 every time
    server.Add("/busy/tq_game.tqpkg", busy);
    std::vector<ResourceUpdateItem> refused = items;
    for (ResourceUpdateItem& item : refused) item.remoteFolder = L"busy";
    StartBatch(refused, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(FailureKind::ServerAnswer, batchCause.kind);
    EXPECT_EQ(503, batchCause.code);

    // No connection at all.
    downloader->resourceBaseUrl = L"http://127.0.0.1:" + std::to_wstring(TestHttpServer::RefusingPort()) + L"/";
    StartBatch(items, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(FailureKind::NoConnection, batchCause.kind);
    EXPECT_NE(0, batchCause.code);
}

// The content index is one attempt within its limit, whatever the server does:
// an error answer and no answer at all both end the fetch without an index.
TEST_F(DownloaderFixture, TheContentIndexIsOneAttemptWithinItsLimit) {
    ShortTimings timings;  // a stall window far beyond the limit
    UpdateTimings shortLimit;
    shortLimit.contentIndexLimitMs = 500;
    OverrideUpdateTimingsForTesting(shortLimit);
    Serve("/conf/list.txt", "a.txt=1=r=0=5\r\n");
    StartConfigDownload();
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(CDNDownloadState::Succeeded, configStates.back());

    const struct { const char* name; TestHttpServer::Mode mode; int failFirst; } cases[] = {
        {"an error answer", TestHttpServer::kRanges, 1000},  // 503 on every attempt
        {"no answer", TestHttpServer::kSilent, 0},
    };
    for (const auto& c : cases) {
        Serve("/conf/list.txt.index", "drel-content-index 1\n", c.mode, c.failFirst);
        const size_t before = server.Requests().size();
        ScopedHandle fetched(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        bool hadIndex = true;
        OnOwner([&] {
            downloader->FetchContentIndex([&](std::unique_ptr<ContentIndex> index) {
                hadIndex = index != nullptr;
                ::SetEvent(fetched.Get());
            });
        });
        // Hang guard only: without the limit, no answer would hold the fetch
        // for the engine's stall window and its ten attempts.
        ASSERT_TRUE(WaitFor(fetched.Get(), 20000)) << c.name;
        EXPECT_FALSE(hadIndex) << c.name;
        EXPECT_EQ(before + 1, server.Requests().size()) << c.name;  // one attempt
    }
    server.Release();
    OverrideUpdateTimingsForTesting(UpdateTimings());
}

TEST_F(DownloaderFixture, WithKeysTheListCountsOnlyWithAStatementThatPasses) {
    ShortTimings timings;
    // Made by the packer (tests/update/make_list_statements.py); fresh*.sig are good for 30 days.
    std::string list = FileBytes(L"C:\\list-statements\\list.txt");
    std::string statement = FileBytes(L"C:\\list-statements\\fresh.sig");
    std::string older = FileBytes(L"C:\\list-statements\\fresh-400.sig");
    std::string key = FileBytes(L"C:\\list-statements\\key-a.pub");
    std::string channel = FileBytes(L"C:\\list-statements\\channel.txt");
    ASSERT_FALSE(list.empty() || statement.empty() || older.empty() || key.size() < 128 || channel.empty())
        << "fixture list_statements";
    std::string changed = list;
    changed[list.size() / 2] ^= 0x01;
    // A statement is read up to 64 KiB: one byte more is no statement at all.
    std::string atTheLimit = statement + std::string(64 * 1024 - statement.size(), '#');
    const struct {
        const char* folder;
        bool keys;
        std::string list;
        std::string statement;  // empty: none served
        CDNDownloadState expected;
        const wchar_t* trace;
    } cases[] = {
        {"plain", false, list, "", CDNDownloadState::Succeeded, nullptr},  // no keys: the list alone, as ever
        {"signed", true, list, statement, CDNDownloadState::Succeeded, L"资源列表校验通过"},
        {"changed", true, changed, statement, CDNDownloadState::Unverified, L"资源列表校验失败\tlist differs from its statement"},
        {"unsigned", true, list, "", CDNDownloadState::Unverified, L"资源列表校验失败\tno statement"},
        // An older signed list at another URL: the serials belong to the channel, not to a URL.
        {"older-elsewhere", true, list, older, CDNDownloadState::Unverified,
         L"资源列表校验失败\tserial below one accepted before"},
        {"statement-at-limit", true, list, atTheLimit, CDNDownloadState::Unverified,
         L"资源列表校验失败\tmalformed statement"},
        {"statement-oversize", true, list, atTheLimit + "#", CDNDownloadState::Unverified,
         L"资源列表校验失败\tno statement"},
    };
    for (const auto& c : cases) {
        std::string path = std::string("/") + c.folder + "/conf/list.txt";
        Serve(path, c.list);
        if (!c.statement.empty()) Serve(path + ".sig", c.statement);
        downloader->configUrl = server.BaseUrl() + std::wstring(path.begin() + 1, path.end());
        downloader->listTrust.Configure(c.keys ? key.substr(0, 128) : "", channel, root + L"list_serials.txt");
        size_t requestsBefore = server.Requests().size();
        TraceCapture trace;
        StartConfigDownload();
        ASSERT_TRUE(WaitDone()) << c.folder;

        EXPECT_EQ(c.expected, configStates.back()) << c.folder;
        std::vector<ResoureConfigInfo> rows;
        ParseResourceList(configText, &rows);
        std::vector<std::wstring> names;
        for (const auto& e : rows) names.push_back(e.name);
        EXPECT_EQ(c.expected == CDNDownloadState::Succeeded ? std::vector<std::wstring>({L"a.txt", L"data\\b.bin"})
                                                           : std::vector<std::wstring>(),
                  names) << c.folder;
        if (c.trace) {
            EXPECT_EQ(1, trace.Count(c.trace)) << c.folder;
        }
        // The statement is asked for after the list, fresh like it, and only with keys.
        std::vector<TestHttpServer::Request> requests = server.Requests();
        std::vector<std::string> asked;
        for (size_t i = requestsBefore; i < requests.size(); ++i) {
            asked.push_back(requests[i].target.substr(0, requests[i].target.find('?')));
        }
        ASSERT_FALSE(asked.empty()) << c.folder;
        EXPECT_EQ(path, asked.front()) << c.folder;
        EXPECT_EQ(c.keys, asked.back() == path + ".sig") << c.folder;
        if (c.keys) {
            EXPECT_EQ(0u, requests.back().target.find(path + ".sig?r=20")) << c.folder;
        }
    }
}
