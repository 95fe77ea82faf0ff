// The launcher executable's entry point and its one application object.
#include <windows.h>

#include "afx/GdiplusSession.h"
#include "launcher/LauncherApp.h"

// GDI+ is up before the application object's start-up and shut down at a normal exit.
static GdiplusSession gdiplus;
static CNewTalmoLauncherApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return AfxWinMain(instance); }
