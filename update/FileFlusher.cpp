#include "update/FileFlusher.h"

#include "util/DebugTrace.h"

FileFlusher::~FileFlusher() {
    {
        ScopedLock hold(lock_);
        stopping_ = true;
        ::WakeAllConditionVariable(&changed_);
    }
    for (CWinThread& thread : threads_) thread.Join();
}

DWORD FileFlusher::FlushAndClose(ScopedFileHandle file) {
    DWORD error = 0;
    if (!::FlushFileBuffers(file.Get())) {
        error = ::GetLastError();
        TraceDiskError(L"FlushFileBuffers");
    }
    // Closed here rather than by the owner's destructor: a failed close counts too.
    if (::CloseHandle(file.Release()) == FALSE) {
        if (error == 0) error = ::GetLastError();
        TraceDiskError(L"CloseHandle");
    }
    return error;
}

void FileFlusher::Add(ScopedFileHandle file, Done done) {
    {
        ScopedLock hold(lock_);
        if (!threadsTried_) {
            threadsTried_ = true;
            for (size_t i = 0; i < kThreads; ++i) {
                if (threads_[started_].Begin(&FileFlusher::ThreadMain, this)) ++started_;
            }
        }
        if (started_ > 0) {
            while (waiting_.size() >= kMaxWaiting) ::SleepConditionVariableCS(&changed_, lock_.Native(), INFINITE);
            waiting_.push_back(Waiting{std::move(file), std::move(done)});
            ::WakeAllConditionVariable(&changed_);
            return;
        }
    }
    // No thread to be had: the caller waits for the disk itself.
    DWORD error = FlushAndClose(std::move(file));
    if (error != 0) {
        ScopedLock hold(lock_);
        failed_ = true;
    }
    done(error == 0, error);
}

bool FileFlusher::Drain() {
    ScopedLock hold(lock_);
    while (!waiting_.empty() || busy_ > 0) ::SleepConditionVariableCS(&changed_, lock_.Native(), INFINITE);
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
        ++busy_;
        ::WakeAllConditionVariable(&changed_);  // room for a waiting Add
        lock_.Unlock();
        DWORD error = FlushAndClose(std::move(next.file));
        next.done(error == 0, error);
        lock_.Lock();
        --busy_;
        if (error != 0) failed_ = true;
        ::WakeAllConditionVariable(&changed_);
    }
}
