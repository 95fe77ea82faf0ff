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
#include "util/Md5.h"
#include "util/TextEncoding.h"

namespace {

// A downloader of the test's own, over the in-process HTTP server, with every
// callable recorded.
class DownloaderFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        root = FreshTestFolder(L"update-downloader");
        downloader.reset(new CCDNResourceDownloader());
        downloader->resourceBaseUrl = server.BaseUrl();
        downloader->configUrl = server.BaseUrl() + L"conf/list.txt";
        downloader->resourceFilesFolder = root + L"game\\";
        downloader->launcherRoot = root;
        downloader->onConfigResult = [this](CDNDownloadState state, const std::wstring& text) {
            ScopedLock hold(lock);
            configStates.push_back(state);
            configText = text;
            ::SetEvent(done.Get());
        };
        downloader->onBatchFinished = [this](CDNDownloadState state, int32_t kind) {
            ScopedLock hold(lock);
            batchStates.push_back(state);
            batchKinds.push_back(kind);
            ::SetEvent(done.Get());
        };
        downloader->onTaskFinished = [this](const DownloadTaskInfo& task, CDNDownloadState) {
            ScopedLock hold(lock);
            finished.push_back(task.name);
        };
        downloader->onDownloadProgress = [this](int64_t downloaded, int64_t total) {
            ScopedLock hold(lock);
            progress.push_back({downloaded, total});
        };
    }
    void TearDown() override { downloader.reset(); }  // joins the workers

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

    bool WaitDone() { return WaitFor(done.Get(), 60000); }
    void Serve(const std::string& path, const std::string& bytes,
               TestHttpServer::Mode mode = TestHttpServer::kRanges, int failFirst = 0) {
        TestHttpServer::Resource resource;
        resource.bytes = bytes;
        resource.mode = mode;
        resource.failFirst = failFirst;
        server.Add(path, resource);
    }

    TestHttpServer server;
    std::wstring root;
    std::unique_ptr<CCDNResourceDownloader> downloader;
    ScopedHandle done{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    CriticalSection lock;
    std::vector<CDNDownloadState> configStates;
    std::wstring configText;
    std::vector<CDNDownloadState> batchStates;
    std::vector<int32_t> batchKinds;
    std::vector<std::wstring> finished;
    std::vector<std::pair<int64_t, int64_t>> progress;
};

}  // namespace

TEST_F(DownloaderFixture, ARetriedAttemptNeverCountsBytesTwice) {
    ShortTimings timings(1000, 1);  // time to change the server's answer between attempts
    std::string package;
    std::vector<std::string> contents = {TestHttpServer::Pattern(30000, 1), TestHttpServer::Pattern(50000, 2),
                                         TestHttpServer::Pattern(20000, 3)};
    auto items = PackageItems({L"a.bin", L"sub\\b.bin", L"c.bin"}, contents, L"p", &package);
    Serve("/p/tq_game.tqpkg", package, TestHttpServer::kCutBody);  // half the range, then a reset

    downloader->StartBatch(items, CdnTaskKind::GameResource);
    for (int i = 0; i < 500 && server.Requests().empty(); ++i) ::Sleep(10);
    ::Sleep(200);  // the first answer has taken its resource
    Serve("/p/tq_game.tqpkg", package);
    ASSERT_TRUE(WaitDone());

    ASSERT_GE(server.Requests().size(), 2u);  // the batch really needed a second attempt
    ASSERT_EQ(1u, batchStates.size());
    EXPECT_EQ(CDNDownloadState::Succeeded, batchStates[0]);
    EXPECT_EQ(static_cast<int32_t>(CdnTaskKind::GameResource), batchKinds[0]);
    ASSERT_FALSE(progress.empty());
    int64_t previous = 0;
    for (const auto& p : progress) {
        EXPECT_EQ(static_cast<int64_t>(package.size()), p.second);
        EXPECT_GT(p.first, previous);  // strictly growing: nothing counted twice, in order
        previous = p.first;
    }
    EXPECT_EQ(static_cast<int64_t>(package.size()), progress.back().first);
    EXPECT_EQ(contents[1], FileBytes(root + L"game\\sub\\b.bin"));
    EXPECT_EQ(3u, finished.size());
}

TEST_F(DownloaderFixture, AFailedLauncherBatchLeavesNoStagingFile) {
    ShortTimings timings;
    std::string package;
    auto items = PackageItems({L"a.dll"}, {"\x01\x02\x03"}, L"p", &package);
    Serve("/p/tq_game.tqpkg", package);
    std::string other;
    auto missing = PackageItems({L"z.dll"}, {"zz"}, L"missing", &other);  // answers 404
    items.push_back(missing[0]);

    downloader->StartBatch(items, CdnTaskKind::LauncherFile);
    ASSERT_TRUE(WaitDone());
    ASSERT_EQ(1u, batchStates.size());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates[0]);
    EXPECT_EQ(static_cast<int32_t>(CdnTaskKind::LauncherFile), batchKinds[0]);
    EXPECT_FALSE(FileExists(StagingFilePath(root)));
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

    downloader->StartBatch(items, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitFor(done.Get(), 30000));  // hang guard: the drip alone would take days
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
    downloader->StartBatch(mixed, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates.back());
    EXPECT_EQ("good", FileBytes(root + L"game\\ok.txt"));  // the good file still arrives
    EXPECT_EQ(1, trace.Count(L"资源路径非法\t..\\evil.txt"));

    // A batch of nothing but such names ends at once, failed.
    downloader->StartBatch(bad, CdnTaskKind::LauncherFile);
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
        downloader->StartConfigDownload();
        ASSERT_TRUE(WaitDone());
        ASSERT_EQ(CDNDownloadState::Succeeded, configStates.back());
        EXPECT_EQ(c.text, configText);
        for (int i = 0; i < 500 && !downloader->IsIdle(); ++i) ::Sleep(10);
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
    const struct { std::string bytes; TestHttpServer::Mode mode; int failFirst; } failures[] = {
        {list, TestHttpServer::kRanges, 1000},
        {list, TestHttpServer::kShortBody, 0},
        {list, TestHttpServer::kNoLength, 0},
        {list, TestHttpServer::kChunked, 0},
        {list, TestHttpServer::kPartial, 0},
        {"a.txt=1=r=0=5\r\n" + std::string(1, '\0') + "b.txt=2=r=5=5\r\n", TestHttpServer::kRanges, 0},
    };
    for (const auto& f : failures) {
        Serve("/conf/list.txt", f.bytes, f.mode, f.failFirst);
        downloader->StartConfigDownload();
        ASSERT_TRUE(WaitDone());
        EXPECT_EQ(CDNDownloadState::Failed, configStates.back()) << f.mode;
        EXPECT_TRUE(configText.empty());
        for (int i = 0; i < 500 && !downloader->IsIdle(); ++i) ::Sleep(10);
    }
    EXPECT_TRUE(batchStates.empty());  // a configuration batch never ends as a file batch
}

TEST_F(DownloaderFixture, UrlsAndASecondProcessorForOneName) {
    downloader->resourceBaseUrl = L"http://cdn.example/a/";
    EXPECT_EQ(L"http://cdn.example/a/res1/tq_game.tqpkg", downloader->BuildTaskUrl(L"res1", CdnTaskKind::GameResource));
    EXPECT_EQ(L"http://cdn.example/a/tq_game.tqpkg", downloader->BuildTaskUrl(L"", CdnTaskKind::LauncherFile));
    EXPECT_EQ(L"", downloader->BuildTaskUrl(L"res1", static_cast<CdnTaskKind>(9)));

    DownloadTaskInfo task(L"http://x/tq_game.tqpkg", L"same.bin", 2, L"", 0, 10);
    TraceCapture trace;
    DownloadDataProcessor* first = downloader->CreateProcessor(task);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(nullptr, downloader->CreateProcessor(task));
    EXPECT_EQ(1, trace.Count(L"CDNResourceConfigDataProcessor插入失败\tsame.bin"));
    DownloadTaskInfo other(L"http://x/tq_game.tqpkg", L"other.bin", 7, L"", 0, 10);
    EXPECT_EQ(nullptr, downloader->CreateProcessor(other));  // unknown kind
    downloader->OnTaskResult(DownloadTaskResultInfo(task, kDownloadCancelled));  // releases it
    EXPECT_NE(nullptr, downloader->CreateProcessor(task));
    downloader->OnTaskResult(DownloadTaskResultInfo(task, kDownloadCancelled));
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
    downloader->StartBatch(items, CdnTaskKind::GameResource);
    ASSERT_TRUE(WaitDone());
    EXPECT_EQ(CDNDownloadState::Failed, batchStates.back());
    EXPECT_FALSE(FileExists(root + L"game\\bomb.bin"));
    EXPECT_FALSE(FileExists(root + L"game\\bomb.bin.drelpart"));
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
        downloader->StartConfigDownload();
        ASSERT_TRUE(WaitDone()) << c.folder;
        for (int i = 0; i < 500 && !downloader->IsIdle(); ++i) ::Sleep(10);

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
