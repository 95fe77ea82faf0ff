#include <gtest/gtest.h>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "launcher/UpdateFlow.h"
#include "update/DiskSpaceGuard.h"

namespace {

// Records what the taskbar button is asked to show, in order; "box" marks
// where a message box was shown.
class FakeTaskbar : public TaskbarProgress {
public:
    void SetState(TaskbarState state) override {
        static const char* const names[] = {"none", "normal", "paused", "error"};
        log.push_back(names[static_cast<int>(state)]);
    }
    void SetValue(uint64_t done, uint64_t total) override {
        log.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    std::vector<std::string> log;
};

// Records what the flow asks of its window and answers from a script.
class FakeHost : public UpdateFlowHost {
public:
    void SetStatusText(const std::wstring& text) override { status = text; }
    void SetSpeedText(const std::wstring& text) override { speed = text; }
    void ShowBarFraction(float f) override { bar = f; }
    int32_t AskUser(const std::wstring& text, int32_t style, const std::wstring& first,
                    const std::wstring& second) override {
        boxes.push_back(text + L"|" + std::to_wstring(style) + L"|" + first + L"|" + second);
        if (taskbar) taskbar->log.push_back("box");
        int32_t answer = answers.empty() ? 7 : answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    void StartTimer(uint32_t id, uint32_t ms) override { timers.insert(id); timerMs[id] = ms; }
    void StopTimer(uint32_t id) override { timers.erase(id); }
    void EndLauncher() override { ++ends; }
    void StartGame() override { ++gameStarts; }
    void RestartLauncher() override { ++restarts; }
    std::wstring GetGameFolder() override { return L"D:\\DREL\\Talmo\\"; }
    bool IsGameRunning(const std::wstring& path) override { watched = path; return gameRunning; }
    void SendNoticeRequest() override { ++noticeRequests; }
    void InitializeResources(const std::wstring& a, const std::wstring& b,
                             const std::vector<std::wstring>& listUrls) override {
        std::wstring line = a + L"|" + b;
        for (const std::wstring& url : listUrls) line += L"|" + url;
        initialized.push_back(line);
    }
    void StartComparison(bool repair) override { comparisons.push_back(repair ? L"repair" : L"compare"); }
    void StartBatches() override { ++batchStarts; }
    void PauseDownload() override { ++pauses; }
    void ResumeDownload() override { ++resumes; }
    uint64_t FreeSpaceFloor() override { return DiskSpaceGuard::kDefaultFloor; }
    bool GetDiskFreeBytes(const std::wstring& root, uint64_t* freeBytes) override {
        diskRoot = root;
        if (freeSpace.empty()) return false;
        *freeBytes = freeSpace.front();
        if (freeSpace.size() > 1) freeSpace.pop_front();
        return true;
    }

    std::wstring status, speed, watched, diskRoot;
    float bar = -1;
    std::vector<std::wstring> boxes, initialized, comparisons;
    std::deque<int32_t> answers;
    std::set<uint32_t> timers;
    std::map<uint32_t, uint32_t> timerMs;
    std::deque<uint64_t> freeSpace{1ULL << 40};
    int ends = 0, gameStarts = 0, restarts = 0, noticeRequests = 0, batchStarts = 0;
    int pauses = 0, resumes = 0;
    bool gameRunning = false;
    FakeTaskbar* taskbar = nullptr;
};

struct UpdateFlowTest : ::testing::Test {
    FakeHost host;
    UpdateFlow flow{host};
};

}  // namespace

TEST_F(UpdateFlowTest, StartShowsInitTextsAndStartsTheTimers) {
    flow.Start();
    EXPECT_EQ(L"游戏初始化中...", host.status);
    EXPECT_EQ(L"游戏初始化中...", host.speed);
    EXPECT_EQ(0.0f, host.bar);
    EXPECT_EQ((std::set<uint32_t>{TIMER_PROGRESS_BAR, TIMER_SPEED_TEXT, TIMER_GAME_WATCH}), host.timers);
    EXPECT_EQ(50u, host.timerMs[TIMER_PROGRESS_BAR]);
    EXPECT_EQ(500u, host.timerMs[TIMER_GAME_WATCH]);
}

TEST_F(UpdateFlowTest, GameWatchWaitsThenAsksOnce) {
    flow.Start();
    host.gameRunning = true;
    flow.HandleTimer(TIMER_GAME_WATCH);
    flow.HandleTimer(TIMER_GAME_WATCH);
    EXPECT_EQ(L"D:\\DREL\\Talmo\\game\\drel_game.exe", host.watched);
    EXPECT_EQ(L"等待游戏结束...", host.status);
    EXPECT_EQ(0, host.noticeRequests);
    host.gameRunning = false;
    flow.HandleTimer(TIMER_GAME_WATCH);
    flow.HandleTimer(TIMER_GAME_WATCH);
    EXPECT_EQ(1, host.noticeRequests);
    EXPECT_EQ(L"获取游戏更新地址...", host.status);
    EXPECT_EQ(0u, host.timers.count(TIMER_GAME_WATCH));
}

TEST_F(UpdateFlowTest, StateTexts) {
    const struct { void (UpdateFlow::*report)(); const wchar_t* text; float progress; } cases[] = {
        {&UpdateFlow::OnLocalCheckStarted, L"开始校验本地资源...", 0},
        {&UpdateFlow::OnLocalCheckFinished, L"校验本地资源完成...", 1},
        {&UpdateFlow::OnCdnCompareStarted, L"开始比对服务器资源...", 0},
        {&UpdateFlow::OnCdnCompareFinished, L"比对服务器资源完成...", 1},
        {&UpdateFlow::OnResourceDownloadStarted, L"美女指挥官正在为您调配游戏资源...", 0},
        {&UpdateFlow::OnLauncherDownloadStarted, L"加载Launcher资源中,请耐心等待...", 0},
        {&UpdateFlow::OnResourceUpdateFinished, L"资源更新完成,准备启动游戏.", 1},
    };
    for (const auto& c : cases) {
        flow.OnDownloadProgress(25, 100);  // the bar at half
        (flow.*c.report)();
        EXPECT_EQ(c.text, host.status) << c.text;
        flow.HandleTimer(TIMER_PROGRESS_BAR);
        EXPECT_EQ(c.progress, host.bar) << c.text;
    }
    flow.OnLocalCheckStarted();  // no download under way
    host.status = L"unchanged";
    host.speed = L"unchanged";
    for (auto unused : {&UpdateReports::OnLauncherInfoStarted, &UpdateReports::OnLauncherInfoFinished}) {
        (flow.*unused)();
        flow.HandleTimer(TIMER_SPEED_TEXT);
        EXPECT_EQ(L"unchanged", host.status);
        EXPECT_EQ(L"unchanged", host.speed);
    }
}

TEST_F(UpdateFlowTest, FailuresOfferRetryOrQuit) {
    const FailureCause none;
    const struct {
        std::function<void(UpdateFlow&)> report;
        const wchar_t* text;
    } cases[] = {
        {[&](UpdateFlow& f) { f.OnCdnCompareFailed(false, none); }, L"比对服务器资源失败!"},
        {[&](UpdateFlow& f) { f.OnCdnCompareFailed(true, none); }, L"资源列表校验失败，请重试!"},
        {[&](UpdateFlow& f) { f.OnResourceDownloadFailed(none); }, L"加载服务器资源失败!"},
        {[&](UpdateFlow& f) { f.OnLauncherDownloadFailed(none); }, L"加载Launcher资源失败!"},
    };
    for (const auto& c : cases) {
        FakeHost h;
        UpdateFlow f(h);
        h.answers = {1};
        c.report(f);
        ASSERT_EQ(1u, h.boxes.size());
        EXPECT_EQ(std::wstring(c.text) + L"|1|重试|退出", h.boxes[0]);
        EXPECT_EQ(1, h.noticeRequests);  // retry: a new run from the notice request
        EXPECT_EQ(0, h.ends);
        h.answers = {7};
        c.report(f);
        EXPECT_EQ(1, h.ends);
    }
}

// A failure's box keeps its text as the first line and says the cause on a
// line of its own; the status line shows the text alone.
TEST_F(UpdateFlowTest, AFailureBoxSaysItsCause) {
    const struct { FailureCause cause; const wchar_t* line; } cases[] = {
        {FailureCause(FailureKind::DiskFull, 112, L"data\\big.pak"), L"原因：磁盘空间不足，错误代码 112，文件 data\\big.pak"},
        {FailureCause(FailureKind::FileInUse, 32, L"a.bin"), L"原因：文件被其他程序占用，错误代码 32，文件 a.bin"},
        {FailureCause(FailureKind::DiskError, 5, L"a.bin"), L"原因：写入文件失败，错误代码 5，文件 a.bin"},
        {FailureCause(FailureKind::ContentCheck, 0, L"a.bin"), L"原因：文件内容校验失败，文件 a.bin"},
        {FailureCause(FailureKind::ServerAnswer, 403, L"a.bin"), L"原因：服务器返回 HTTP 403，文件 a.bin"},
        {FailureCause(FailureKind::BadAnswer, 0, L"list.txt"), L"原因：服务器返回的内容无效，文件 list.txt"},
        {FailureCause(FailureKind::NoConnection, 12029), L"原因：无法连接服务器或连接中断，错误代码 12029"},
        {FailureCause(FailureKind::TimedOut, 12002), L"原因：连接超时，错误代码 12002"},
    };
    for (const auto& c : cases) {
        FakeHost h;
        UpdateFlow f(h);
        f.OnResourceDownloadFailed(c.cause);
        EXPECT_EQ(std::wstring(L"加载服务器资源失败!\n") + c.line + L"|1|重试|退出", h.boxes.at(0));
        EXPECT_EQ(L"加载服务器资源失败!", h.status);
    }
    FakeHost h;
    UpdateFlow f(h);
    f.OnCdnCompareFailed(false, FailureCause(FailureKind::ServerAnswer, 404, L"list.txt"));
    EXPECT_EQ(L"比对服务器资源失败!\n原因：服务器返回 HTTP 404，文件 list.txt|1|重试|退出", h.boxes.at(0));
}

TEST_F(UpdateFlowTest, NoticeOutcomes) {
    const struct { RequestNoticeResult result; const wchar_t* text; } cases[] = {
        {NoticeNoAddress, L"无法完成游戏资源更新，未配置更新地址!"},
        {NoticeParseFailed, L"无法完成游戏资源更新，解析失败!"},
        {NoticeRequestFailed, L"无法完成游戏资源更新，请求失败!"},
    };
    for (const auto& c : cases) {
        FakeHost h;
        UpdateFlow f(h);
        h.answers = {1, 7};
        f.OnNoticeResult({}, c.result);
        EXPECT_EQ(std::wstring(c.text) + L"|1|重试|退出", h.boxes.at(0));
        EXPECT_EQ(1, h.noticeRequests);
        f.OnNoticeResult({}, c.result);
        EXPECT_EQ(1, h.ends);
    }
    // A failed request's box says why under its text.
    FakeHost h;
    UpdateFlow f(h);
    f.OnNoticeResult({}, NoticeRequestFailed, FailureCause(FailureKind::NoConnection, 12029));
    EXPECT_EQ(L"无法完成游戏资源更新，请求失败!\n原因：无法连接服务器或连接中断，错误代码 12029|1|重试|退出", h.boxes.at(0));
    flow.OnNoticeResult({L"http://cdn/a/b/list.txt"}, NoticeOk);
    ASSERT_EQ(1u, host.initialized.size());
    EXPECT_EQ(L"D:\\DREL\\Talmo\\|D:\\DREL\\Talmo\\|http://cdn/a/b/list.txt", host.initialized[0]);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(UpdateFlowTest, EnoughSpaceStartsTheBatches) {
    const int64_t size = 1000;
    flow.OnDownloadTotalSize(size);
    EXPECT_EQ(L"D:\\", host.diskRoot);
    EXPECT_EQ(1, host.batchStarts);
}

TEST_F(UpdateFlowTest, NothingToFetchStartsTheBatchesWithoutAskingTheDisk) {
    host.freeSpace.clear();  // an unreadable drive would end the launcher
    const int64_t none = 0;
    flow.OnDownloadTotalSize(none);
    EXPECT_EQ(L"", host.diskRoot);
    EXPECT_EQ(1, host.batchStarts);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(0, host.ends);
}

TEST_F(UpdateFlowTest, ShortOfSpaceCountsTheFloorNamesDriveAndShortfallAndRetries) {
    // Free space above the download but short of the download and the floor
    // that writing keeps: the box, not a batch that would fail on the way.
    const uint64_t floor = DiskSpaceGuard::kDefaultFloor;
    host.freeSpace = {floor + 1048576, floor + 2 * 1048576};
    host.answers = {1};
    const int64_t size = 2 * 1048576;
    flow.OnDownloadTotalSize(size);
    ASSERT_EQ(1u, host.boxes.size());
    EXPECT_EQ(L"D:\\磁盘空间不足，无法完成此次更新，请确保释放出1.00MB空间后继续|1|重试|退出", host.boxes[0]);
    EXPECT_EQ(1, host.batchStarts);  // space was freed before "重试"

    FakeHost h;
    UpdateFlow f(h);
    h.freeSpace = {10};
    h.answers = {7};
    f.OnDownloadTotalSize(size);
    EXPECT_EQ(1, h.ends);
    EXPECT_EQ(0, h.batchStarts);
}

TEST_F(UpdateFlowTest, UnreadableDiskEnds) {
    host.freeSpace.clear();
    const int64_t size = 1;
    flow.OnDownloadTotalSize(size);
    EXPECT_EQ(L"无法完成下载，没有成功获取磁盘大小!|0||", host.boxes.at(0));
    EXPECT_EQ(1, host.ends);
    EXPECT_EQ(0, host.batchStarts);
}

TEST_F(UpdateFlowTest, EndingsRunOnceFromTheirTimers) {
    flow.OnResourceUpdateFinished();
    EXPECT_EQ(30u, host.timerMs[TIMER_START_GAME]);
    flow.HandleTimer(TIMER_START_GAME);
    EXPECT_EQ(1, host.gameStarts);
    EXPECT_EQ(0u, host.timers.count(TIMER_START_GAME));

    flow.OnLauncherUpdateFinished();
    EXPECT_EQ(L"Launcher更新完成,正在重启Launcher...", host.status);
    EXPECT_EQ(L"Launcher更新完成,准备重启Launcher!|0||", host.boxes.at(0));
    EXPECT_EQ(1000u, host.timerMs[TIMER_RESTART]);
    flow.HandleTimer(TIMER_RESTART);
    EXPECT_EQ(1, host.restarts);
    EXPECT_EQ(0u, host.timers.count(TIMER_RESTART));
}

TEST_F(UpdateFlowTest, DownloadReportsDriveBarAndSpeedLine) {
    flow.Start();
    flow.StartUpdate({L"http://cdn/list.txt"});
    flow.OnResourceDownloadStarted();
    const std::pair<int64_t, int64_t> progress{60, 100};
    flow.OnDownloadProgress(progress.first, progress.second);
    flow.HandleTimer(TIMER_PROGRESS_BAR);
    EXPECT_NEAR(0.26f, host.bar, 1e-5);
    flow.HandleTimer(TIMER_SPEED_TEXT);
    EXPECT_EQ(L"正在加载精致战舰模型", host.status);
    EXPECT_EQ(0u, host.speed.find(L"速度:"));
    const std::pair<int64_t, int64_t> zero{0, 0};
    flow.OnDownloadProgress(zero.first, zero.second);
    flow.HandleTimer(TIMER_PROGRESS_BAR);
    EXPECT_EQ(0.0f, host.bar);  // no NaN on the bar
}

TEST_F(UpdateFlowTest, ARepairAskedBeforeTheUpdateChecksInItsFirstRunOnly) {
    flow.RequestRepair();
    flow.StartUpdate({L"http://cdn/a/b/list.txt"});
    EXPECT_TRUE(host.comparisons.empty());  // not before the list has arrived
    flow.OnCdnCompareFinished();
    const std::pair<int64_t, int64_t> read{42, 100};
    flow.OnVerifyProgress(read.first, read.second);
    EXPECT_EQ(L"正在校验游戏文件 42%", host.status);
    flow.HandleTimer(TIMER_PROGRESS_BAR);
    EXPECT_FLOAT_EQ(0.42f, host.bar);
    flow.OnResourceUpdateFinished();
    EXPECT_EQ(1u, host.timers.count(TIMER_START_GAME));
    flow.StartUpdate({L"http://cdn/a/b/list.txt"});  // a retry later on checks nothing
    flow.OnCdnCompareFinished();
    EXPECT_EQ((std::vector<std::wstring>{L"repair", L"compare"}), host.comparisons);
    EXPECT_EQ(2u, host.initialized.size());
}

TEST_F(UpdateFlowTest, ARepairAskedDuringADownloadFollowsItBeforeTheGame) {
    flow.StartUpdate({L"http://cdn/list.txt"});
    flow.OnCdnCompareFinished();
    flow.OnResourceDownloadStarted();
    flow.RequestRepair();
    flow.OnResourceUpdateFinished();  // the batch has ended: now the check
    EXPECT_EQ(0u, host.timers.count(TIMER_START_GAME));
    ASSERT_EQ(2u, host.initialized.size());
    flow.OnCdnCompareFinished();
    EXPECT_EQ((std::vector<std::wstring>{L"compare", L"repair"}), host.comparisons);
    flow.OnResourceUpdateFinished();
    EXPECT_EQ(1u, host.timers.count(TIMER_START_GAME));
    EXPECT_EQ(2u, host.initialized.size());
}

TEST_F(UpdateFlowTest, TaskbarFollowsDownloadsTheDiskSpaceWaitAFailureAndTheEnd) {
    FakeTaskbar taskbar;
    host.taskbar = &taskbar;
    flow.SetTaskbar(&taskbar);
    flow.Start();
    for (auto report : {&UpdateFlow::OnLocalCheckStarted, &UpdateFlow::OnLocalCheckFinished,
                        &UpdateFlow::OnCdnCompareStarted, &UpdateFlow::OnCdnCompareFinished}) {
        (flow.*report)();
    }
    EXPECT_TRUE(taskbar.log.empty());  // nothing before a download

    const uint64_t needed = 1000 + DiskSpaceGuard::kDefaultFloor;  // the download and the floor
    host.freeSpace = {250, needed};  // short of space until "重试"
    host.answers = {1, 1};         // "重试" for the space, then for the failed batch
    const int64_t size = 1000;
    flow.OnDownloadTotalSize(size);
    flow.OnResourceDownloadStarted();
    const std::pair<int64_t, int64_t> half{500, 1000};
    flow.OnDownloadProgress(half.first, half.second);
    flow.OnResourceDownloadFailed(FailureCause());
    flow.OnResourceDownloadStarted();
    const std::pair<int64_t, int64_t> all{1000, 1000};
    flow.OnDownloadProgress(all.first, all.second);
    flow.OnResourceUpdateFinished();

    EXPECT_EQ((std::vector<std::string>{"paused", "250/" + std::to_string(needed), "box", "none",  //
                                         "normal", "0/1", "500/1000",          //
                                         "error", "1/1", "box", "none",        //
                                         "normal", "0/1", "1000/1000",         //
                                         "none"}),
              taskbar.log);
}

// A pause is no failure: no box, the bar stays, the lines say "paused" and no
// speed until the player resumes, whatever late reports and ticks come.
TEST_F(UpdateFlowTest, PauseAndResumeOfEitherBatch) {
    const struct {
        void (UpdateFlow::*started)();
        void (UpdateFlow::*finished)();
        const wchar_t* status;
    } batches[] = {
        {&UpdateFlow::OnResourceDownloadStarted, &UpdateFlow::OnResourceUpdateFinished,
         L"美女指挥官正在为您调配游戏资源..."},
        {&UpdateFlow::OnLauncherDownloadStarted, &UpdateFlow::OnLauncherUpdateFinished,
         L"加载Launcher资源中,请耐心等待..."},
    };
    for (const auto& batch : batches) {
        FakeHost host;
        FakeTaskbar taskbar;
        UpdateFlow flow{host};
        flow.SetTaskbar(&taskbar);
        flow.Start();
        flow.Pause();  // nothing runs yet
        EXPECT_FALSE(flow.CanPause());
        EXPECT_EQ(0, host.pauses);

        (flow.*batch.started)();
        const std::pair<int64_t, int64_t> half{512 * 1024, 1024 * 1024};
        flow.OnDownloadProgress(half.first, half.second);
        flow.HandleTimer(TIMER_PROGRESS_BAR);
        const float bar = host.bar;
        ASSERT_TRUE(flow.CanPause());
        taskbar.log.clear();
        flow.Pause();
        flow.Pause();
        EXPECT_EQ(1, host.pauses);
        EXPECT_TRUE(flow.IsPaused());
        EXPECT_FALSE(flow.CanPause());
        // Bytes already under way when the pause came still count, but nothing
        // says they are moving.
        const std::pair<int64_t, int64_t> late{600 * 1024, 1024 * 1024};
        flow.OnDownloadProgress(late.first, late.second);
        flow.OnDownloadPaused();
        for (int tick = 0; tick < 3; ++tick) flow.HandleTimer(TIMER_SPEED_TEXT);
        EXPECT_EQ(L"已暂停", host.status);
        EXPECT_EQ(std::wstring::npos, host.speed.find(L"速度"));
        EXPECT_EQ(L"下载进度:601KB/1.00MB", host.speed);
        EXPECT_TRUE(host.boxes.empty());
        EXPECT_EQ("paused", taskbar.log.front());

        flow.Resume();
        flow.Resume();
        EXPECT_EQ(1, host.resumes);
        EXPECT_EQ(batch.status, host.status);
        EXPECT_EQ("normal", taskbar.log.back());
        EXPECT_TRUE(flow.CanPause());
        flow.OnDownloadPaused();  // the pause's own report, after the resume
        EXPECT_EQ(batch.status, host.status);
        flow.HandleTimer(TIMER_SPEED_TEXT);
        EXPECT_NE(std::wstring::npos, host.speed.find(L"速度"));
        EXPECT_GE(host.bar, bar);

        (flow.*batch.finished)();
        EXPECT_FALSE(flow.CanPause());
        EXPECT_FALSE(flow.IsPaused());
    }
}

TEST_F(UpdateFlowTest, TaskbarShowsTheErrorWhileAnyFailureBoxIsOpen) {
    const std::function<void(UpdateFlow&, FakeHost&)> failures[] = {
        [](UpdateFlow& f, FakeHost&) { f.OnCdnCompareFailed(false, FailureCause()); },
        [](UpdateFlow& f, FakeHost&) { f.OnLauncherDownloadFailed(FailureCause()); },
        [](UpdateFlow& f, FakeHost&) { f.OnNoticeResult({}, NoticeRequestFailed); },
        [](UpdateFlow& f, FakeHost& h) {
            h.freeSpace.clear();  // the free space cannot be read
            const int64_t size = 1;
            f.OnDownloadTotalSize(size);
        },
    };
    for (const auto& fail : failures) {
        FakeTaskbar taskbar;
        FakeHost h;
        h.taskbar = &taskbar;
        UpdateFlow f(h);
        f.SetTaskbar(&taskbar);
        fail(f, h);
        EXPECT_EQ((std::vector<std::string>{"error", "1/1", "box", "none"}), taskbar.log) << h.boxes.at(0);
    }

    // The launcher update's notice is no failure: the progress is gone before it.
    FakeTaskbar taskbar;
    host.taskbar = &taskbar;
    flow.SetTaskbar(&taskbar);
    flow.OnLauncherUpdateFinished();
    EXPECT_EQ((std::vector<std::string>{"none", "box"}), taskbar.log);
}
