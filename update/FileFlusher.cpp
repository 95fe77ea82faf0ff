#include "update/FileFlusher.h"

#include "util/DebugTrace.h"

FileFlusher::~FileFlusher() {
    {
        ScopedLock hold(lock_);
        stopping_ = true;
        ::WakeAllConditionVariable(&changed_);
    }
    thread_.Join();
}

bool FileFlusher::FlushAndClose(ScopedFileHandle file) {
    bool flushed = ::FlushFileBuffers(file.Get()) != FALSE;
    if (!flushed) TraceDiskError(L"FlushFileBuffers");
    // Closed here rather than by the owner's destructor: a failed close counts too.
    if (::CloseHandle(file.Release()) == FALSE) {
        TraceDiskError(L"CloseHandle");
        return false;
    }
    return flushed;
}

void FileFlusher::Add(ScopedFileHandle file, Done done) {
    {
        ScopedLock hold(lock_);
        if (thread_.IsStarted() || thread_.Begin(&FileFlusher::ThreadMain, this)) {
            while (waiting_.size() >= kMaxWaiting) ::SleepConditionVariableCS(&changed_, lock_.Native(), INFINITE);
            waiting_.push_back(Waiting{std::move(file), std::move(done)});
            ::WakeAllConditionVariable(&changed_);
            return;
        }
    }
    // No thread to be had: the caller waits for the disk itself.
    bool flushed = FlushAndClose(std::move(file));
    if (!flushed) {
        ScopedLock hold(lock_);
        failed_ = true;
    }
    done(flushed);
}

bool FileFlusher::Drain() {
    ScopedLock hold(lock_);
    while (!waiting_.empty() || busy_) ::SleepConditionVariableCS(&changed_, lock_.Native(), INFINITE);
    bool ok = !failed_;
    failed_ = false;
    return ok;
}

UINT FileFlusher::ThreadMain(LPVOID self) {
    static_cast<FileFlusher*>(self)->Run();
    return 0;
}

void FileFlusher::Run() {
    ScopedLock hold(lock_);
    for (;;) {
        while (waiting_.empty() && !stopping_) ::SleepConditionVariableCS(&changed_, lock_.Native(), INFINITE);
        if (waiting_.empty()) return;  // stopping, and all done
        Waiting next = std::move(waiting_.front());
        waiting_.pop_front();
        busy_ = true;
        ::WakeAllConditionVariable(&changed_);  // room for a waiting Add
        lock_.Unlock();
        bool flushed = FlushAndClose(std::move(next.file));
        next.done(flushed);
        lock_.Lock();
        busy_ = false;
        if (!flushed) failed_ = true;
        ::WakeAllConditionVariable(&changed_);
    }
}
