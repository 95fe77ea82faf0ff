#include "MainWindowGroup.h"

#include "launcher/UpdateFlow.h"
#include "res/resource.h"

MainWindowGroup::MainWindowGroup() {
    background.Create(IDD_SKIN_FRAME, nullptr);
    background.ShowWindow(SW_SHOW);
    background.ShowForeground();
    // The game watch would start the notice request at its first tick; no
    // timer message has been dispatched yet.
    ::KillTimer(background.foreground->m_hWnd, TIMER_GAME_WATCH);
}

CNewTalmoMainForegroundDialog& MainWindowGroup::Foreground() {
    return *static_cast<CNewTalmoMainForegroundDialog*>(background.foreground);
}
