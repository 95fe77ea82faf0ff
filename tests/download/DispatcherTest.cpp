// The dispatcher and its workers against the in-process server and nginx.
#include "download/TestHttpServer.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <set>

#include "download/DownloaderTaskDispatcher.h"
#include "download/ShortTimings.h"
#include "download/TestOwner.h"
#include "download/TraceCapture.h"
#include "support/TestEnv.h"
#include "util/FileUtils.h"

namespace {

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        data = TestHttpServer::Pattern(1 << 20, 3);
        server.Add("/pkg", {data, TestHttpServer::kRanges});
        dispatcher.owner = &owner;
    }
    DownloadTaskInfo File(const std::wstring& name, int64_t offset, uint32_t size, const char* path = "pkg") {
        return DownloadTaskInfo(server.BaseUrl() + std::wstring(path, path + strlen(path)), name, 1, L"", offset,
                                size);
    }
    // count files of size bytes with a gap after each, so each is its own segment.
    std::vector<DownloadTaskInfo> Separate(const std::wstring& prefix, int count, uint32_t size = 1000,
                                           const char* path = "pkg") {
        std::vector<DownloadTaskInfo> files;
        for (int i = 0; i < count; ++i) files.push_back(File(prefix + std::to_wstring(i), i * (size + 1), size, path));
        return files;
    }

    ShortTimings timings;
    TestHttpServer server;  // declared first: outlives the workers
    std::string data;
    TestOwner owner;
    DownloaderTaskDispatcher dispatcher;
};

}  // namespace

TEST_F(DispatcherTest, DeliversEveryFileItsOwnBytes) {
    owner.noProcessor = {L"skipped"};
    std::vector<DownloadTaskInfo> files = {
        File(L"a", 0, 70000),       File(L"empty", 70000, 0), File(L"skipped", 70000, 5000),
        File(L"b", 75000, 300000),  File(L"c", 375001, 10),   // after a one-byte gap
        File(L"whole", -1, 0),
    };
    dispatcher.maxThreads = 3;
    dispatcher.AddTasks(files);
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_EQ((std::map<std::wstring, int32_t>{{L"a", 200}, {L"empty", 200}, {L"skipped", 200}, {L"b", 200},
                                               {L"c", 200}, {L"whole", 200}}),
              owner.Codes());
    EXPECT_EQ(data.substr(0, 70000), owner.BytesOf(L"a"));
    EXPECT_EQ("", owner.BytesOf(L"empty"));
    EXPECT_EQ(data.substr(75000, 300000), owner.BytesOf(L"b"));
    EXPECT_EQ(data.substr(375001, 10), owner.BytesOf(L"c"));
    EXPECT_EQ(data, owner.BytesOf(L"whole"));
    // Three requests: touching files share one. A request whose connection
    // broke (Wine's pooled connections now and then) is asked again for the
    // same range, which is no further request of the grouping.
    std::set<std::string> ranges;
    for (const auto& request : server.Requests()) {
        auto range = request.headers.find("range");
        ranges.insert(range == request.headers.end() ? std::string("whole") : range->second);
    }
    EXPECT_EQ(3u, ranges.size());
    EXPECT_TRUE(dispatcher.IsIdle());  // the last worker had left when the owner heard the end
}

TEST_F(DispatcherTest, SegmentWithoutProcessorsIsNotRequested) {
    owner.noProcessor = {L"x", L"y"};
    std::vector<DownloadTaskInfo> files = {File(L"x", 0, 10), File(L"y", 10, 10)};
    dispatcher.AddTasks(files);
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_EQ((std::map<std::wstring, int32_t>{{L"x", -1}, {L"y", -1}}), owner.Codes());
    EXPECT_EQ(0u, server.Requests().size());
}

TEST_F(DispatcherTest, FailedRequestReportsEveryFileAndGoesOn) {
    std::vector<DownloadTaskInfo> files = {File(L"m1", 0, 10, "missing"), File(L"m2", 10, 10, "missing"),
                                           File(L"ok", 0, 10)};
    dispatcher.AddTasks(files);
    ASSERT_TRUE(owner.WaitAllFinished(60000));
    EXPECT_EQ((std::map<std::wstring, int32_t>{{L"m1", 404}, {L"m2", 404}, {L"ok", 200}}), owner.Codes());
    EXPECT_EQ(11u, server.Requests().size());  // ten attempts of the missing package
}

TEST_F(DispatcherTest, WorkersAreCappedByMaxThreadsAndByTheQueue) {
    TestHttpServer::Resource stall{data, TestHttpServer::kStall};
    stall.stallAfter = 100;
    server.Add("/stall", stall);
    dispatcher.maxThreads = 3;
    {
        TraceCapture trace;
        auto two = Separate(L"s", 2, 1000, "stall");
        dispatcher.AddTasks(two);
        ASSERT_TRUE(server.WaitForStalled(2, 10000));
        EXPECT_EQ(1, trace.Count(L"检测到只需要使用线程数\t2"));

        auto more = Separate(L"t", 6, 1000, "stall");
        dispatcher.AddTasks(more);  // one more worker: three in all
        ASSERT_TRUE(server.WaitForStalled(3, 10000));
        auto last = Separate(L"u", 1, 1000, "stall");
        dispatcher.AddTasks(last);
        EXPECT_EQ(1, trace.Count(L"下载线程已达到上限\t3"));
    }
    server.Release();
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_EQ(9u, owner.Results().size());
    EXPECT_EQ(3, server.MaxConcurrent());
    EXPECT_EQ(1, owner.FinishedCalls());
}

TEST_F(DispatcherTest, EmptyBatchStartsNothing) {
    TraceCapture trace;
    std::vector<DownloadTaskInfo> none;
    dispatcher.maxThreads = 3;
    dispatcher.AddTasks(none);
    EXPECT_EQ(1, trace.Count(L"开始建立下载任务，剩余可用线程\t3"));
    EXPECT_EQ(1, trace.Count(L"检测到只需要使用线程数\t0"));
    EXPECT_TRUE(dispatcher.IsIdle());
    EXPECT_EQ(0, owner.FinishedCalls());  // no worker, so no end to tell
}

TEST_F(DispatcherTest, StopAllCancelsTheRequestsAndEndsOnce) {
    TestHttpServer::Resource stall{data, TestHttpServer::kStall};
    stall.stallAfter = 100000;
    server.Add("/stall", stall);
    dispatcher.maxThreads = 2;
    auto files = Separate(L"f", 5, 200000, "stall");
    dispatcher.AddTasks(files);
    ASSERT_TRUE(server.WaitForStalled(2, 10000));
    dispatcher.StopAll();
    server.Release();
    ASSERT_TRUE(owner.WaitAllFinished());
    auto results = owner.Results();
    ASSERT_EQ(2u, results.size());
    // A cancel is no failure: the two files go back to the queue, which stays.
    for (const auto& r : results) EXPECT_EQ(kDownloadRequeued, r.resultCode) << r.info.name.c_str();
    EXPECT_TRUE(dispatcher.IsIdle());
    EXPECT_EQ(1, owner.FinishedCalls());
    const size_t requestsBefore = server.Requests().size();
    ASSERT_EQ(2u, requestsBefore);

    // Started again, workers take the whole queue: the two cut files again and the three others.
    std::vector<DownloadTaskInfo> none;
    dispatcher.AddTasks(none);
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_EQ(7u, owner.Results().size());
    EXPECT_EQ(requestsBefore + 5, server.Requests().size());
    for (int i = 0; i < 5; ++i) {
        std::wstring name = L"f" + std::to_wstring(i);
        EXPECT_EQ(200, owner.Codes()[name]);
        EXPECT_EQ(data.substr(i * 200001, 200000), owner.BytesOf(name));
    }
}

// The worker has taken the segment and found itself running; the stop comes
// before its request, which must then never be made.
TEST_F(DispatcherTest, AStopJustBeforeARequestIsNotLost) {
    owner.onCreateProcessors = [this](const SegmentDownloadTaskInfo&) { dispatcher.StopAll(); };
    std::vector<DownloadTaskInfo> files = {File(L"a", 0, 10)};
    dispatcher.AddTasks(files);
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_EQ((std::map<std::wstring, int32_t>{{L"a", kDownloadRequeued}}), owner.Codes());
    EXPECT_EQ(0u, server.Requests().size());
    // It waits in the queue: workers started again fetch it.
    owner.onCreateProcessors = nullptr;
    std::vector<DownloadTaskInfo> none;
    dispatcher.AddTasks(none);
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_EQ(200, owner.Codes()[L"a"]);
    EXPECT_EQ(1u, server.Requests().size());
}

// Paused half-way through a segment of touching files: the file that arrived
// whole is done, the rest goes back to the queue from the first file not kept,
// and nothing is handed out until Resume, which fetches only that rest.
TEST_F(DispatcherTest, PauseKeepsWhatArrivedAndResumeFetchesTheRest) {
    TestHttpServer::Resource stall{data, TestHttpServer::kStall};
    stall.stallAfter = 100000;
    server.Add("/stall", stall);
    std::vector<DownloadTaskInfo> files = {File(L"a", 0, 50000, "stall"), File(L"b", 50000, 100000, "stall"),
                                           File(L"c", 150000, 100000, "stall"), File(L"d", 300000, 1000, "stall")};
    ScopedHandle bArrives(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    owner.writeEvents[L"b"] = bArrives.Get();
    dispatcher.maxThreads = 1;
    dispatcher.AddTasks(files);
    ASSERT_TRUE(server.WaitForStalled(1, 10000));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(bArrives.Get(), 10000));  // a is whole
    dispatcher.Pause();
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_EQ((std::map<std::wstring, int32_t>{{L"a", 200}, {L"b", kDownloadRequeued}, {L"c", kDownloadRequeued}}),
              owner.Codes());
    // Paused, new work waits too: no worker starts for it.
    std::vector<DownloadTaskInfo> more = {File(L"e", 400000, 10, "stall")};
    dispatcher.AddTasks(more);
    EXPECT_TRUE(dispatcher.IsIdle());
    EXPECT_EQ(1, owner.FinishedCalls());

    server.Release();
    const size_t requestsBefore = server.Requests().size();
    dispatcher.Resume();
    ASSERT_TRUE(owner.WaitAllFinished());
    for (const wchar_t* name : {L"a", L"b", L"c", L"d", L"e"}) EXPECT_EQ(200, owner.Codes()[name]) << name;
    EXPECT_EQ(data.substr(50000, 100000), owner.BytesOf(L"b"));
    EXPECT_EQ(data.substr(150000, 100000), owner.BytesOf(L"c"));
    // The rest from the first file not kept (b and c in one request), d, then e.
    auto requests = server.Requests();
    ASSERT_EQ(requestsBefore + 3, requests.size());
    EXPECT_EQ("bytes=50000-249999", requests[requestsBefore].headers["range"]);
}

// A resume that comes before the paused workers have ended keeps them going:
// every file arrives, none is reported twice as done.
TEST_F(DispatcherTest, ResumeBeforeThePauseHasTakenEffect) {
    dispatcher.maxThreads = 3;
    auto files = Separate(L"f", 30, 20000);
    dispatcher.AddTasks(files);
    dispatcher.Pause();
    dispatcher.Resume();
    auto doneFiles = [this] {
        std::map<std::wstring, int> done;
        for (const auto& r : owner.Results()) {
            if (r.resultCode == 200) ++done[r.info.name];
        }
        return done;
    };
    // The pause may have ended the workers before the resume: then the end is told twice.
    for (int ends = 0; ends < 2 && doneFiles().size() < 30; ++ends) ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_TRUE(dispatcher.IsIdle());
    std::map<std::wstring, int> done = doneFiles();
    for (const auto& r : owner.Results()) {
        EXPECT_TRUE(r.resultCode == 200 || r.resultCode == kDownloadRequeued) << r.resultCode;
    }
    EXPECT_EQ(30u, done.size());
    for (const auto& d : done) EXPECT_EQ(1, d.second) << d.first.c_str();
}

TEST_F(DispatcherTest, ClearPendingDropsTheQueue) {
    dispatcher.maxThreads = 0;  // nothing starts: the queue stays as AddTasks made it
    auto files = Separate(L"q", 3);
    dispatcher.AddTasks(files);
    dispatcher.ClearPending();
    TraceCapture trace;
    dispatcher.SetMaxThreads(3);
    std::vector<DownloadTaskInfo> none;
    dispatcher.AddTasks(none);
    EXPECT_EQ(1, trace.Count(L"检测到只需要使用线程数\t0"));  // nothing left to start a worker for
    EXPECT_TRUE(dispatcher.IsIdle());
    EXPECT_EQ(0u, server.Requests().size());
}

// Work queued while the only worker is ending (it has found the queue empty
// and not yet left): the running worker is counted at the limit, so no new one
// starts, and the ending one must take the work instead of leaving it queued.
TEST_F(DispatcherTest, WorkQueuedWhileTheLastWorkerEndsIsServed) {
    ShortTimings noPause(10, 0);
    dispatcher.maxThreads = 1;
    const int kRounds = 300;
    for (int round = 0; round < kRounds; ++round) {
        auto one = Separate(L"w" + std::to_wstring(round) + L"-", 1, 10);
        dispatcher.AddTasks(one);
        ASSERT_TRUE(owner.WaitResults(round + 1, 10000)) << "round " << round << ": the file stayed queued";
        // Meet the worker at different points of its ending.
        for (volatile int spin = 0; spin < (round % 7) * 2000; ++spin) {
        }
    }
}

// The next batch started from inside OnAllTasksFinished, while the worker that
// reported it is still ending, must be fetched; with one thread it is always
// that same worker.
TEST_F(DispatcherTest, BatchStartedFromAllTasksFinishedIsServed) {
    for (int threads : {1, 3}) {
        TestOwner chained;
        DownloaderTaskDispatcher chain;
        chain.owner = &chained;
        chain.maxThreads = threads;
        const int kRounds = 25;
        int round = 0;
        ScopedHandle lastRound(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        chained.onAllFinished = [&]() {
            if (++round >= kRounds) {
                ::SetEvent(lastRound.Get());
                return;
            }
            auto next = Separate(L"r" + std::to_wstring(round) + L"-", 3, 100);
            chain.AddTasks(next);
        };
        auto first = Separate(L"r0-", 3, 100);
        chain.AddTasks(first);
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(lastRound.Get(), 60000)) << threads << " threads";
        EXPECT_EQ(kRounds, chained.FinishedCalls()) << threads << " threads";
        EXPECT_EQ(static_cast<size_t>(kRounds * 3), chained.Results().size());
        for (const auto& r : chained.Results()) EXPECT_EQ(200, r.resultCode);
    }
}

// The owner hears the end without the dispatcher's lock held: another thread
// asking the dispatcher meanwhile is answered (with the lock held it would wait
// for the owner, who waits for it). When the owner hears it, no worker runs.
TEST_F(DispatcherTest, TheOwnerIsToldTheEndWithoutTheLockOnceNoWorkerRuns) {
    bool answered = false;
    bool idleWhileTelling = false;
    owner.onAllFinished = [&]() {
        idleWhileTelling = dispatcher.IsIdle();
        struct Asker {
            static DWORD WINAPI Run(LPVOID p) {
                static_cast<DownloaderTaskDispatcher*>(p)->ClearPending();
                return 0;
            }
        };
        ScopedHandle asker(::CreateThread(nullptr, 0, &Asker::Run, &dispatcher, 0, nullptr));
        answered = asker && ::WaitForSingleObject(asker.Get(), 10000) == WAIT_OBJECT_0;
    };
    auto files = Separate(L"f", 2);
    dispatcher.maxThreads = 2;
    dispatcher.AddTasks(files);
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_TRUE(answered);
    EXPECT_TRUE(idleWhileTelling);
}

// Restarted and at once stopped from inside OnAllTasksFinished: the worker
// must still leave the running list and report the end again.
TEST_F(DispatcherTest, RestartThenStopInsideAllTasksFinishedEndsCleanly) {
    int calls = 0;
    owner.onAllFinished = [&]() {
        if (++calls > 1) return;
        auto next = Separate(L"n", 1);
        dispatcher.AddTasks(next);
        dispatcher.StopAll();
    };
    auto first = Separate(L"f", 1);
    dispatcher.AddTasks(first);
    ASSERT_TRUE(owner.WaitAllFinished());
    ASSERT_TRUE(owner.WaitAllFinished());  // the stopped worker told its end again
    EXPECT_EQ(2, owner.FinishedCalls());
    EXPECT_TRUE(dispatcher.IsIdle());
    EXPECT_EQ(1u, owner.Results().size());
    // The new file waits in the queue for workers started again.
    std::vector<DownloadTaskInfo> none;
    dispatcher.AddTasks(none);
    ASSERT_TRUE(owner.WaitAllFinished());
    EXPECT_EQ(200, owner.Codes()[L"n0"]);
}

// The range arithmetic against a real server: a package served by nginx, cut
// into files of many sizes, packed past the 10 MiB limit.
TEST(DispatcherNginx, PackageFilesArriveByteForByte) {
    ShortTimings timings;
    std::wstring base = NginxBaseUrl();
    ASSERT_FALSE(base.empty()) << "the nginx fixture did not run";
    std::string package = TestHttpServer::Pattern(23 * 1024 * 1024 + 123, 11);
    ASSERT_TRUE(WriteFileBytes(NginxRootFolder() + L"engine\\package.tqpkg", package));

    std::vector<DownloadTaskInfo> files;
    uint32_t sizes[] = {1, 0, 1023, 1024, 1025, 65536, 3000000, 7000000, 5, 9000000, 12};
    int64_t offset = 17;  // the first bytes belong to no file
    int n = 0;
    while (offset < static_cast<int64_t>(package.size())) {
        uint32_t size = sizes[n % (sizeof(sizes) / sizeof(sizes[0]))];
        size = static_cast<uint32_t>(std::min<int64_t>(size, package.size() - offset));
        files.push_back(DownloadTaskInfo(base + L"engine/package.tqpkg", L"f" + std::to_wstring(n), 1, L"", offset, size));
        offset += size;
        ++n;
    }
    TestOwner owner;
    DownloaderTaskDispatcher dispatcher;
    dispatcher.owner = &owner;
    dispatcher.maxThreads = 3;
    std::vector<DownloadTaskInfo> queued = files;
    dispatcher.AddTasks(queued);
    ASSERT_TRUE(owner.WaitAllFinished(60000));
    ASSERT_EQ(files.size(), owner.Results().size());
    for (const auto& f : files) {
        EXPECT_EQ(200, owner.Codes()[f.name]) << f.name.c_str();
        EXPECT_TRUE(owner.BytesOf(f.name) == package.substr(static_cast<size_t>(f.offset), f.size))
            << "file at " << f.offset;
    }
}
