#pragma once
// The taskbar button's progress, through the shell's ITaskbarList3. The button
// can be used once the shell has sent "TaskbarButtonCreated" to the window that
// has it; the shell sends it again when it makes the button anew (a restarted
// shell), and each time the button is shown what was asked last. Without the
// interface (no shell, an old one, a stub) nothing is shown, and that is no
// error.
#include <windows.h>
#include <shobjidl.h>

#include "afx/ScopedWin.h"
#include "ui/TaskbarProgress.h"

class TaskbarListProgress : public TaskbarProgress {
public:
    TaskbarListProgress() = default;
    TaskbarListProgress(const TaskbarListProgress&) = delete;
    TaskbarListProgress& operator=(const TaskbarListProgress&) = delete;

    // The registered message the shell sends to a window when its taskbar button exists.
    static UINT ButtonCreatedMessage();
    // window's button exists (again): connects to the taskbar and shows the
    // state and value asked for last. Needs COM on the calling thread.
    void OnButtonCreated(HWND window);
    bool IsConnected() const { return static_cast<bool>(list_); }
    TaskbarState State() const { return state_; }

    void SetState(TaskbarState state) override;
    void SetValue(uint64_t done, uint64_t total) override;

private:
    void ShowState();
    void ShowValue();

    HWND window_ = nullptr;
    ScopedComPtr<ITaskbarList3> list_;
    TaskbarState state_ = TaskbarState::None;
    int permille_ = 0;  // the value asked for last, in thousandths
    // What the button shows, in thousandths (-1: unknown), so that a fast
    // download calls the shell only when the button would change.
    int shownPermille_ = -1;
};
