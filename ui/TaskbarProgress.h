#pragma once
// What the window group's taskbar button shows of an update: a state and, in
// every state but None, a share done. The update flow drives it; the real
// button is TaskbarListProgress, the tests use a fake.
#include <cstdint>

enum class TaskbarState {
    None,    // no progress shown
    Normal,  // downloading
    Paused,  // waiting for the player (disk space)
    Error,   // a failure is being shown
};

class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;
    virtual void SetState(TaskbarState state) = 0;
    // done of total (total > 0); shown in any state but None.
    virtual void SetValue(uint64_t done, uint64_t total) = 0;
};
