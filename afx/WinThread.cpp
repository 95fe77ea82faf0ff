#include "afx/WinThread.h"

#include <process.h>

namespace {

struct ThreadStart {
    AFX_THREADPROC proc;
    LPVOID param;
};

unsigned __stdcall ThreadEntry(void* arg) {
    ThreadStart start = *static_cast<ThreadStart*>(arg);
    delete static_cast<ThreadStart*>(arg);
    return start.proc(start.param);
}

}  // namespace

bool CWinThread::Begin(AFX_THREADPROC proc, LPVOID param) {
    Join();
    ThreadStart* start = new ThreadStart{proc, param};
    unsigned id = 0;
    // _beginthreadex, not CreateThread, so the C runtime is set up for the thread.
    uintptr_t h = ::_beginthreadex(nullptr, 0, &ThreadEntry, start, 0, &id);
    if (h == 0) {
        delete start;
        return false;
    }
    handle_ = reinterpret_cast<HANDLE>(h);
    threadId_ = id;
    return true;
}

void CWinThread::Join() {
    if (!handle_) return;
    ::WaitForSingleObject(handle_, INFINITE);
    ::CloseHandle(handle_);
    handle_ = nullptr;
    threadId_ = 0;
}
