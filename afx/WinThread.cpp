#include "afx/WinThread.h"

#include <process.h>
#include <memory>

namespace {

struct ThreadStart {
    AFX_THREADPROC proc;
    LPVOID param;
};

unsigned __stdcall ThreadEntry(void* arg) {
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
    return start->proc(start->param);
}

}  // namespace

bool CWinThread::Begin(AFX_THREADPROC proc, LPVOID param) {
    Join();
    auto start = std::make_unique<ThreadStart>(ThreadStart{proc, param});
    unsigned id = 0;
    // _beginthreadex, not CreateThread, so the C runtime is set up for the thread.
    uintptr_t h = ::_beginthreadex(nullptr, 0, &ThreadEntry, start.get(), 0, &id);
    if (h == 0) return false;
    start.release();  // the thread's now
    handle_.Reset(reinterpret_cast<HANDLE>(h));
    threadId_ = id;
    return true;
}

void CWinThread::Join() {
    if (!handle_) return;
    ::WaitForSingleObject(handle_.Get(), INFINITE);
    handle_.Reset();
    threadId_ = 0;
}
