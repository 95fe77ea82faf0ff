#include <gtest/gtest.h>
#include <windows.h>
#include <thread>

#include "launcher/ProgressMailbox.h"

namespace {
std::vector<ProgressMailbox::Report> TakeAll(ProgressMailbox& box) {
    std::vector<ProgressMailbox::Report> out;
    ProgressMailbox::Report report;
    while (box.TakeNext(&report)) out.push_back(std::move(report));
    return out;
}
}  // namespace

TEST(ProgressMailbox, KeepsOrderCollapsesProgressAndWakesOnce) {
    ProgressMailbox box;
    EXPECT_TRUE(box.Push(ResourceDownloadStarted, nullptr));
    ResourceManagerUpdateProgressInfo progress(10, 100);
    EXPECT_FALSE(box.Push(DownloadProgress, &progress));
    progress.downloaded = 60;
    EXPECT_FALSE(box.Push(DownloadProgress, &progress));
    EXPECT_FALSE(box.Push(ResourceUpdateFinished, nullptr));

    auto reports = TakeAll(box);
    ASSERT_EQ(3u, reports.size());
    EXPECT_EQ(ResourceDownloadStarted, reports[0].first);
    EXPECT_EQ(DownloadProgress, reports[1].first);
    EXPECT_EQ(60, static_cast<ResourceManagerUpdateProgressInfo*>(reports[1].second.get())->downloaded);
    EXPECT_EQ(ResourceUpdateFinished, reports[2].first);
    EXPECT_TRUE(box.Push(ResourceUpdateFinished, nullptr));  // emptied: wakes again
}

TEST(ProgressMailbox, RefusedWakeUpLosesNothing) {
    ProgressMailbox box;
    ASSERT_TRUE(box.Push(LauncherUpdateFinished, nullptr));
    box.WakeFailed();  // the post was refused
    EXPECT_TRUE(box.Push(DownloadProgress, nullptr));
    auto reports = TakeAll(box);
    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ(LauncherUpdateFinished, reports[0].first);
}

TEST(ProgressMailbox, ManyThreadsFloodingStaySmallAndKeepEveryState) {
    ProgressMailbox box;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&box] {
            ResourceManagerUpdateProgressInfo progress(0, 1000000);
            for (int i = 0; i < 100000; ++i) {
                progress.downloaded = i;
                box.Push(DownloadProgress, &progress);
            }
        });
    }
    for (auto& t : threads) t.join();
    box.Push(ResourceUpdateFinished, nullptr);
    auto reports = TakeAll(box);
    EXPECT_LE(reports.size(), 2u);
    EXPECT_EQ(ResourceUpdateFinished, reports.back().first);
}
