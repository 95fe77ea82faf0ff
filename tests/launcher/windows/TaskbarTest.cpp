// The window group's taskbar button: the background window's, driven by the
// foreground's update flow through the shell's taskbar list.
#include <gtest/gtest.h>

#include <windows.h>

#include "MainWindowGroup.h"
#include "UiTestSupport.h"
#include "ui/SkinMessageBox.h"
#include "ui/TaskbarListProgress.h"
#include "util/UiScale.h"

TEST(TaskbarTest, TheBackgroundsButtonFollowsTheFlowOnceTheShellHasMadeIt) {
    OverrideUiScaleForTesting(1.0f);
    MainWindowGroup group;
    TaskbarListProgress& taskbar = group.background.Taskbar();
    CNewTalmoMainForegroundDialog& main = group.Foreground();

    // Before the shell has made the button nothing is shown, and nothing fails.
    main.Flow().OnResourceDownloadStarted();
    EXPECT_FALSE(taskbar.IsConnected());
    EXPECT_EQ(TaskbarState::Normal, taskbar.State());

    ::SendMessageW(group.background.m_hWnd, TaskbarListProgress::ButtonCreatedMessage(), 0, 0);
    EXPECT_TRUE(taskbar.IsConnected());  // Wine's shell has the taskbar list
    const std::pair<int64_t, int64_t> half{50, 100};
    main.Flow().OnDownloadProgress(half.first, half.second);
    EXPECT_EQ(TaskbarState::Normal, taskbar.State());

    // A failure box (here the one shown when the game cannot be started) turns
    // the button red while it is open.
    TaskbarState whileOpen = TaskbarState::None;
    int answer = RunWithBoxProbe([&] { return main.Flow().AskAboutFailure(L"启动失败，错误代码:2", 0, L"", L""); },
                                 [&](CSkinDialog* frame) {
                                     whileOpen = taskbar.State();
                                     frame->EndDialog(1);
                                 });
    EXPECT_EQ(1, answer);
    EXPECT_EQ(TaskbarState::Error, whileOpen);
    EXPECT_EQ(TaskbarState::None, taskbar.State());
}
