#pragma once
// The launcher's main window group for the window tests: real windows on the
// Xvfb screen, checked with the toolkit tests' helpers (tests/ui/UiTestSupport).
#include "launcher/NewTalmoMainBackgroundDialog.h"
#include "launcher/NewTalmoMainForegroundDialog.h"
#include "update/ResourceManager.h"

// The launcher's main window group as the launcher makes it (the background,
// then the foreground on it), shown on the screen, with the update flow held
// before its first step so that no launcher server is asked.
class MainWindowGroup {
public:
    MainWindowGroup();
    CNewTalmoMainForegroundDialog& Foreground();

    // Never initialised: the flow is held before it would start an update.
    CResourceManager resources;
    CNewTalmoMainBackgroundDialog background{resources};
};
