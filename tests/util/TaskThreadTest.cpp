#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "afx/ScopedWin.h"
#include "util/TaskThread.h"

namespace {

const DWORD kLongWaitMs = 60000;

}  // namespace

TEST(TaskThread, RunsPostedWorkInOrderOnItsOwnThread) {
    TaskThread thread;
    ASSERT_TRUE(thread.Start());
    std::vector<int> order;  // touched only on the thread until Call returns
    std::vector<DWORD> threads;
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(thread.Post([&order, &threads, i] {
            order.push_back(i);
            threads.push_back(::GetCurrentThreadId());
        }));
    }
    bool onThread = false;
    ASSERT_TRUE(thread.Call([&] { onThread = thread.IsCurrentThread(); }));
    ASSERT_EQ(50u, order.size());
    for (int i = 0; i < 50; ++i) EXPECT_EQ(i, order[i]);
    for (DWORD id : threads) EXPECT_EQ(threads[0], id);
    EXPECT_NE(::GetCurrentThreadId(), threads[0]);
    EXPECT_TRUE(onThread);
    EXPECT_FALSE(thread.IsCurrentThread());
}

TEST(TaskThread, ACallFromTheThreadItselfRunsAtOnce) {
    TaskThread thread;
    ASSERT_TRUE(thread.Start());
    int steps = 0;
    ASSERT_TRUE(thread.Call([&] {
        EXPECT_TRUE(thread.Call([&] { ++steps; }));
        ++steps;
    }));
    EXPECT_EQ(2, steps);
}

TEST(TaskThread, DelayedWorkRunsOnceDueAndLetsLaterWorkPass) {
    TaskThread thread;
    ASSERT_TRUE(thread.Start());
    ScopedHandle due(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool farRan = false;
    ASSERT_TRUE(thread.PostAfter(3600 * 1000, [&] { farRan = true; }));
    ASSERT_TRUE(thread.PostAfter(1, [&] { ::SetEvent(due.Get()); }));
    bool laterRan = false;
    ASSERT_TRUE(thread.Call([&] { laterRan = true; }));  // not held back by the hour's task
    EXPECT_TRUE(laterRan);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(due.Get(), kLongWaitMs));
    thread.Stop();  // the hour's task is dropped, not waited for
    EXPECT_FALSE(farRan);
}

TEST(TaskThread, StopDropsWaitingWorkUnrunAndRefusesMore) {
    TaskThread thread;
    EXPECT_FALSE(thread.Post([] {}));  // never started
    EXPECT_FALSE(thread.Call([] {}));
    ASSERT_TRUE(thread.Start());
    ScopedHandle started(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The task under way holds the thread until Stop has taken the queue (it
    // learns so when posting is refused), and is let to end.
    ASSERT_TRUE(thread.Post([&] {
        ::SetEvent(started.Get());
        while (thread.Post([] {})) ::Sleep(1);
    }));
    bool waitingRan = false;
    ASSERT_TRUE(thread.Post([&] { waitingRan = true; }));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(started.Get(), kLongWaitMs));
    thread.Stop();
    EXPECT_FALSE(waitingRan);
    EXPECT_FALSE(thread.Post([] {}));
    EXPECT_FALSE(thread.Call([] {}));
    thread.Stop();  // twice is fine

    // Started again, it runs again.
    ASSERT_TRUE(thread.Start());
    bool ran = false;
    EXPECT_TRUE(thread.Call([&] { ran = true; }));
    EXPECT_TRUE(ran);
}
