#pragma once
// One thread that owns some state and runs the work other threads hand it:
// closures, one at a time, in the order they were posted. Whatever only these
// closures touch needs no lock: other threads never reach it but through Post.
// A closure posted with a delay runs once its time has come, after the
// closures that were waiting then. Stop drops what still waits; a closure
// dropped that way is destroyed without being run.
#include <windows.h>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>

#include "afx/ScopedWin.h"
#include "afx/WinThread.h"

class TaskThread {
public:
    using Task = std::function<void()>;

    TaskThread() = default;
    // Stop.
    ~TaskThread();
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    // Starts the thread; nothing when it runs already. False when it could not
    // be started: every post is then refused.
    bool Start();
    // Any thread. False when the thread does not run (never started, or
    // stopped): the task is dropped unrun.
    bool Post(Task task);
    // Runs task no earlier than delayMs from now.
    bool PostAfter(DWORD delayMs, Task task);
    // Posts task and waits until it has run; on the thread itself it runs at
    // once. False when it was dropped unrun (the thread does not run or was
    // stopped before its turn). The thread must never wait for the caller.
    bool Call(Task task);
    // Lets the task under way end, drops every waiting one, ends the thread and
    // waits for it. Any thread but this one; nothing when it does not run.
    void Stop();
    bool IsCurrentThread() const;

private:
    static UINT ThreadMain(LPVOID self);
    void Run();

    CriticalSection lock_;
    std::deque<Task> ready_;                   // under lock_
    std::multimap<ULONGLONG, Task> delayed_;   // by when they are due, under lock_
    bool accepting_ = false;                   // under lock_
    ScopedHandle wake_{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    CWinThread thread_;
    volatile DWORD threadId_ = 0;
};
