#include <gtest/gtest.h>
#include <cmath>
#include <vector>

#include "launcher/ProgressDisplay.h"

namespace {
ProgressDisplay Fresh() {
    ProgressDisplay d;
    d.BuildTips();
    d.ResetProgressCounters();
    return d;
}
}  // namespace

TEST(ProgressDisplay, BarFillsThreeTimesPerBatch) {
    const struct { int64_t d, t; int phase; float progress; } cases[] = {
        {0, 100, 0, 0.0f}, {25, 100, 0, 0.5f}, {50, 100, 0, 1.0f}, {60, 100, 1, 0.26f},
        {95, 100, 2, 0.5666666f}, {100, 100, 2, 1.0f},
    };
    for (const auto& c : cases) {
        ProgressDisplay d = Fresh();
        d.ApplyDownloadProgress(c.d, c.t);
        EXPECT_EQ(c.phase, d.phase) << c.d;
        EXPECT_NEAR(c.progress, d.progress, 1e-5) << c.d;
    }
    ProgressDisplay exact = Fresh();
    exact.ApplyDownloadProgress(100, 100);
    EXPECT_EQ(1.0f, exact.progress);  // exactly full at the end
}

TEST(ProgressDisplay, PhaseOnlyGrows) {
    ProgressDisplay d = Fresh();
    d.ApplyDownloadProgress(95, 100);
    d.ApplyDownloadProgress(10, 100);
    EXPECT_EQ(2, d.phase);
}

TEST(ProgressDisplay, ProgressTextAndZeroTotal) {
    ProgressDisplay d = Fresh();
    d.ApplyDownloadProgress(1536, 3145728);
    EXPECT_EQ(L"2KB/3.00MB", d.progressText);
    d.ApplyDownloadProgress(0, 0);
    EXPECT_FALSE(std::isnan(d.progress));
    EXPECT_FALSE(std::isinf(d.progress));
    EXPECT_EQ(0.0f, d.BarFraction());
}

TEST(ProgressDisplay, BarIsClamped) {
    ProgressDisplay d = Fresh();
    d.progress = 1.2f;
    EXPECT_EQ(1.0f, d.BarFraction());
    d.progress = -0.5f;
    EXPECT_EQ(0.0f, d.BarFraction());
    d.progress = NAN;
    EXPECT_EQ(0.0f, d.BarFraction());
}

TEST(ProgressDisplay, TipsFollowPhaseAndFraction) {
    const struct { int phase; float p; const wchar_t* tip; } cases[] = {
        {0, 0.0f, L"美女指挥官正在为您调配游戏资源..."}, {0, 0.79f, L"美女指挥官正在为您调配游戏资源..."},
        {0, 0.8f, L"正在加载精致战舰模型"}, {1, 0.5f, L"正在加载精致战舰模型"},
        {2, 0.1f, L"正在加载世界各大海域资源"},
    };
    for (const auto& c : cases) {
        ProgressDisplay d = Fresh();
        d.SelectTip(c.phase, c.p);
        ASSERT_NE(nullptr, d.currentTip);
        EXPECT_EQ(c.tip, d.currentTip->text) << c.phase << " " << c.p;
    }
    ProgressDisplay d = Fresh();
    d.SelectTip(2, 0.5f);
    const ProgressTip* kept = d.currentTip;
    d.SelectTip(2, 1.0f);  // no tip covers 1.0: the current one stays
    EXPECT_EQ(kept, d.currentTip);
}

TEST(ProgressDisplay, SpeedAveragesTheSecondsSinceBytesBegan) {
    // Bytes received by each once-a-second tick (cumulative), and the speed
    // the line shows at that tick. 6291456 bytes are 6 MiB.
    const struct { std::vector<int64_t> received; const wchar_t* speed; } cases[] = {
        // Four idle seconds, then 6 MiB a second: the seconds before the first
        // byte are no part of the average.
        {{0, 0, 0, 0, 6291456, 12582912, 18874368}, L"6.00MB"},
        // Six seconds and more: the average of the last six.
        {{6291456, 12582912, 18874368, 25165824, 31457280, 37748736, 44040192, 50331648}, L"6.00MB"},
        // A stall after bytes began counts: 6 MiB over two seconds.
        {{0, 6291456, 6291456}, L"3.00MB"},
    };
    for (const auto& c : cases) {
        ProgressDisplay d = Fresh();
        d.downloading = true;
        std::wstring status, speed;
        for (int64_t received : c.received) {
            d.ApplyDownloadProgress(received, 1LL << 40);
            ASSERT_TRUE(d.UpdateSpeedLine(&status, &speed));
        }
        EXPECT_EQ(0u, speed.find(std::wstring(L"速度:") + c.speed + L"/秒 ")) << speed;
    }

    // Nothing yet: no speed and no estimate. Then 614400 bytes in the first
    // second of bytes: 614400 a second, and 1024000 left take 1 second.
    ProgressDisplay d = Fresh();
    d.downloading = true;
    d.ApplyDownloadProgress(0, 1638400);
    std::wstring status, speed;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(d.UpdateSpeedLine(&status, &speed));
        EXPECT_EQ(L"速度:0KB/秒 下载进度:1 KB/1.56MB", speed);
    }
    d.ApplyDownloadProgress(614400, 1638400);
    ASSERT_TRUE(d.UpdateSpeedLine(&status, &speed));
    EXPECT_EQ(L"速度:601KB/秒 预计:1秒 下载进度:601KB/1.56MB", speed);
    EXPECT_EQ(L"美女指挥官正在为您调配游戏资源...", status);
    EXPECT_EQ(614400, d.lastDownloaded);

    // A restart (a resume) forgets the seconds before it.
    d.RestartSpeed();
    d.ApplyDownloadProgress(614400 + 102400, 1638400);
    ASSERT_TRUE(d.UpdateSpeedLine(&status, &speed));
    EXPECT_EQ(0u, speed.find(L"速度:101KB/秒 ")) << speed;
}

TEST(ProgressDisplay, IdleTickLeavesTheLinesAlone) {
    ProgressDisplay d = Fresh();
    d.downloading = false;
    std::wstring status = L"state text", speed = L"speed text";
    EXPECT_FALSE(d.UpdateSpeedLine(&status, &speed));
    EXPECT_EQ(L"state text", status);
}
