#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <thread>

#include "launcher/UiTaskQueue.h"

namespace {
// Runs every waiting task; gives how many ran.
int RunAll(UiTaskQueue& queue) {
    int ran = 0;
    UiTaskQueue::Task task;
    while (queue.TakeNext(&task)) {
        task();
        ++ran;
    }
    return ran;
}
}  // namespace

TEST(UiTaskQueue, KeepsOrderMergesByKeyAndWakesOnce) {
    UiTaskQueue queue;
    std::string log;
    EXPECT_TRUE(queue.Post([&] { log += "started "; }));
    EXPECT_FALSE(queue.Post([&] { log += "10 "; }, 15));
    EXPECT_FALSE(queue.Post([&] { log += "60 "; }, 15));  // replaces the waiting 10
    EXPECT_FALSE(queue.Post([&] { log += "verify "; }, 19));
    EXPECT_FALSE(queue.Post([&] { log += "70 "; }, 15));  // not merged across another key
    EXPECT_FALSE(queue.Post([&] { log += "done"; }));
    EXPECT_EQ(5, RunAll(queue));
    EXPECT_EQ("started 60 verify 70 done", log);
    EXPECT_TRUE(queue.Post([] {}));  // emptied: wakes again
}

TEST(UiTaskQueue, RefusedWakeUpLosesNothing) {
    UiTaskQueue queue;
    std::string log;
    ASSERT_TRUE(queue.Post([&] { log += "a"; }));
    queue.WakeFailed();  // the post was refused
    EXPECT_TRUE(queue.Post([&] { log += "b"; }, 15));
    EXPECT_EQ(2, RunAll(queue));
    EXPECT_EQ("ab", log);
}

TEST(UiTaskQueue, ManyThreadsFloodingStaySmallAndKeepEveryOtherTask) {
    UiTaskQueue queue;
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&queue] {
            for (int i = 0; i < 100000; ++i) queue.Post([] {}, 15);
        });
    }
    for (auto& t : threads) t.join();
    bool finished = false;
    queue.Post([&] { finished = true; });
    EXPECT_LE(RunAll(queue), 2);
    EXPECT_TRUE(finished);
}
