#include "util/TaskThread.h"

#include <memory>
#include <utility>

namespace {

// What a caller waiting in Call learns: the event is set once the task is gone,
// run or dropped, so the caller never waits for a task that will not run.
struct CallState {
    ScopedHandle done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    volatile bool ran = false;
};

// Held by the posted task (and its copies): sets the event when the last goes.
class SignalWhenGone {
public:
    explicit SignalWhenGone(std::shared_ptr<CallState> state) : state_(std::move(state)) {}
    ~SignalWhenGone() { ::SetEvent(state_->done.Get()); }
    SignalWhenGone(const SignalWhenGone&) = delete;
    SignalWhenGone& operator=(const SignalWhenGone&) = delete;
    void Ran() { state_->ran = true; }

private:
    std::shared_ptr<CallState> state_;
};

}  // namespace

TaskThread::~TaskThread() { Stop(); }

bool TaskThread::Start() {
    {
        ScopedLock hold(lock_);
        if (accepting_) return true;
        accepting_ = true;
    }
    if (!wake_.IsValid() || !thread_.Begin(&TaskThread::ThreadMain, this)) {
        ScopedLock hold(lock_);
        accepting_ = false;
        return false;
    }
    return true;
}

bool TaskThread::Post(Task task) { return PostAfter(0, std::move(task)); }

bool TaskThread::PostAfter(DWORD delayMs, Task task) {
    {
        ScopedLock hold(lock_);
        if (!accepting_) return false;
        if (delayMs == 0) {
            ready_.push_back(std::move(task));
        } else {
            delayed_.emplace(::GetTickCount64() + delayMs, std::move(task));
        }
    }
    ::SetEvent(wake_.Get());
    return true;
}

bool TaskThread::Call(Task task) {
    if (IsCurrentThread()) {
        task();
        return true;
    }
    std::shared_ptr<CallState> state = std::make_shared<CallState>();
    if (!state->done.IsValid()) return false;
    std::shared_ptr<SignalWhenGone> signal = std::make_shared<SignalWhenGone>(state);
    bool posted = Post([task, signal]() {
        task();
        signal->Ran();
    });
    signal.reset();  // from now on only the posted task holds it
    if (!posted) return false;
    ::WaitForSingleObject(state->done.Get(), INFINITE);
    return state->ran;
}

void TaskThread::Stop() {
    std::deque<Task> dropped;
    std::multimap<ULONGLONG, Task> droppedLater;
    {
        ScopedLock hold(lock_);
        accepting_ = false;
        dropped.swap(ready_);
        droppedLater.swap(delayed_);
    }
    if (wake_.IsValid()) ::SetEvent(wake_.Get());
    // Destroyed here, without the lock: a waiting Call learns that its task is gone.
    dropped.clear();
    droppedLater.clear();
    thread_.Join();
}

bool TaskThread::IsCurrentThread() const { return threadId_ != 0 && threadId_ == ::GetCurrentThreadId(); }

UINT TaskThread::ThreadMain(LPVOID self) {
    TaskThread* owner = static_cast<TaskThread*>(self);
    owner->threadId_ = ::GetCurrentThreadId();
    owner->Run();
    owner->threadId_ = 0;
    return 0;
}

void TaskThread::Run() {
    for (;;) {
        Task next;
        DWORD wait = INFINITE;
        {
            ScopedLock hold(lock_);
            if (!accepting_) return;
            ULONGLONG now = ::GetTickCount64();
            while (!delayed_.empty() && delayed_.begin()->first <= now) {
                ready_.push_back(std::move(delayed_.begin()->second));
                delayed_.erase(delayed_.begin());
            }
            if (!ready_.empty()) {
                next = std::move(ready_.front());
                ready_.pop_front();
            } else if (!delayed_.empty()) {
                wait = static_cast<DWORD>(delayed_.begin()->first - now);
            }
        }
        if (next) {
            next();
            continue;
        }
        ::WaitForSingleObject(wake_.Get(), wait);
    }
}
