#pragma once
// A small stand-in for MFC's CWinThread worker threads: one Win32 thread,
// started running at once with normal priority and the default stack. Unlike
// MFC's auto-deleting objects, the owner keeps the object and joins the thread:
// Join (or the destructor) waits for it to end, so no thread outlives its owner.
#include <windows.h>

#include "afx/ScopedWin.h"

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWinThread {
public:
    CWinThread() = default;
    ~CWinThread() { Join(); }
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts proc(param) on a new thread. Joins a thread held from before first.
    // False when the thread could not be created.
    bool Begin(AFX_THREADPROC proc, LPVOID param);
    // Waits until the thread has ended and releases it; nothing when none is held.
    // Must not be called on the thread itself.
    void Join();

    bool IsStarted() const { return handle_.IsValid(); }
    HANDLE Handle() const { return handle_.Get(); }
    DWORD ThreadId() const { return threadId_; }

private:
    ScopedHandle handle_;
    DWORD threadId_ = 0;
};
