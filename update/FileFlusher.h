#pragma once
// Makes finished files durable away from the download workers. FlushFileBuffers
// waits for the disk; with the file handed over here, a worker goes on with the
// next file while the disk writes this one. Each file's owner learns through
// its callback, on the flusher's thread, once the bytes are on the disk.
#include <windows.h>

#include <deque>
#include <functional>

#include "afx/ScopedWin.h"
#include "afx/WinThread.h"

class FileFlusher {
public:
    // flushed: FlushFileBuffers and the close both succeeded; otherwise error
    // is the system's code of the step that failed.
    using Done = std::function<void(bool flushed, DWORD error)>;

    FileFlusher() = default;
    // Finishes every file handed over, then ends the thread.
    ~FileFlusher();
    FileFlusher(const FileFlusher&) = delete;
    FileFlusher& operator=(const FileFlusher&) = delete;

    // Takes an open, fully written file. Waits while a few dozen files wait
    // already, so a disk slower than the network holds the workers back rather
    // than piling up open files. Without a thread the file is done at once.
    void Add(ScopedFileHandle file, Done done);
    // Waits until every file handed over so far is done. False when a flush
    // failed since the last Drain.
    bool Drain();

private:
    struct Waiting {
        ScopedFileHandle file;
        Done done;
    };
    static const size_t kMaxWaiting = 32;
    static UINT ThreadMain(LPVOID self);
    void Run();
    // 0 when the file was flushed and closed, else the failed step's error.
    static DWORD FlushAndClose(ScopedFileHandle file);

    CriticalSection lock_;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::deque<Waiting> waiting_;
    bool busy_ = false;      // the thread is flushing a file it took
    bool failed_ = false;    // a flush failed since the last Drain
    bool stopping_ = false;
    CWinThread thread_;
};
