#include "ui/TaskbarListProgress.h"

#include <cstdio>

#include "util/DebugTrace.h"

namespace {

TBPFLAG FlagOf(TaskbarState state) {
    switch (state) {
    case TaskbarState::Normal: return TBPF_NORMAL;
    case TaskbarState::Paused: return TBPF_PAUSED;
    case TaskbarState::Error: return TBPF_ERROR;
    case TaskbarState::None: break;
    }
    return TBPF_NOPROGRESS;
}

}  // namespace

UINT TaskbarListProgress::ButtonCreatedMessage() {
    static const UINT message = ::RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

void TaskbarListProgress::OnButtonCreated(HWND window) {
    window_ = window;
    list_.Reset();
    HRESULT result = ::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                        list_.ReceiveVoid());
    if (SUCCEEDED(result)) {
        result = list_->HrInit();
        if (FAILED(result)) list_.Reset();
    }
    if (!list_) {
        wchar_t line[64];
        std::swprintf(line, 64, L"launcher: no taskbar progress (0x%08lX)", static_cast<unsigned long>(result));
        DebugTrace(line);
        return;
    }
    ShowState();
}

void TaskbarListProgress::SetState(TaskbarState state) {
    if (state == state_) return;
    state_ = state;
    ShowState();
}

void TaskbarListProgress::SetValue(uint64_t done, uint64_t total) {
    if (total == 0) return;
    permille_ = done >= total ? 1000 : static_cast<int>(static_cast<double>(done) * 1000.0 / static_cast<double>(total));
    ShowValue();
}

void TaskbarListProgress::ShowState() {
    if (!list_) return;
    list_->SetProgressState(window_, FlagOf(state_));
    shownPermille_ = -1;  // a new state may show the value afresh
    ShowValue();
}

void TaskbarListProgress::ShowValue() {
    // A value set without progress would show the normal bar again.
    if (!list_ || state_ == TaskbarState::None || permille_ == shownPermille_) return;
    list_->SetProgressValue(window_, static_cast<ULONGLONG>(permille_), 1000);
    shownPermille_ = permille_;
}
