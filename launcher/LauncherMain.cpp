// The launcher executable's entry point and its one application object.
#include <windows.h>

#include "BuildConfig.h"
#include "afx/GdiplusSession.h"
#include "launcher/LauncherApp.h"
#include "launcher/NoticeAnswer.h"
#include "update/CDNResourceDownloader.h"
#include "util/InstallPaths.h"
#include "util/TextEncoding.h"

// GDI+ is up before the application object's start-up and shut down at a normal exit.
static GdiplusSession gdiplus;
static CNewTalmoLauncherApp theApp;

namespace {
const char kListSigningKeys[] = LIST_SIGNING_PUBLIC_KEYS_TEXT;
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The keys are read here, in the executable's own translation unit, so that
    // what a build verifies is fixed when it is built; nothing at run time can
    // turn the check off. Without keys nothing changes. The channel is the
    // package name the notice request sends: a statement signed for another
    // package refuses its list.
    if (kListSigningKeys[0]) {
        theApp.Downloader().listTrust.Configure(kListSigningKeys, TextToUtf8String(kLauncherPackageName),
                                                GetDataFolder() + ListTrust::kSerialFileName);
    }
    return AfxWinMain(instance);
}
