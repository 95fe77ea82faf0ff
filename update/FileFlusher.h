#pragma once
// Makes finished files durable away from the download workers. FlushFileBuffers
// waits for the disk; with the file handed over here, a worker goes on with the
// next file while the disk writes this one. Each file's owner learns through
// its callback, on a flushing thread, once the bytes are on the disk, in no
// particular order.
//
// A batch of thousands of small files waits on these flushes more than on
// anything else. One flush at a time has the disk commit its journal once per
// file; a few at once let it commit the same journal for several files, so a
// few threads flush.
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
    // The threads start with the first file.
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
    static const size_t kThreads = 3;
    static UINT ThreadMain(LPVOID self);
    void Run();
    // 0 when the file was flushed and closed, else the failed step's error.
    static DWORD FlushAndClose(ScopedFileHandle file);

    CriticalSection lock_;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::deque<Waiting> waiting_;
    size_t busy_ = 0;        // files taken by a thread and not done yet
    size_t started_ = 0;     // threads started
    bool threadsTried_ = false;
    bool failed_ = false;    // a flush failed since the last Drain
    bool stopping_ = false;
    CWinThread threads_[kThreads];
};
