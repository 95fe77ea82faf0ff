#pragma once
// A small stand-in for MFC's application object: one static instance per
// program, whose InitInstance the entry point runs on the UI thread.
#include <windows.h>
#include <string>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up work; returning false ends the program without a message loop.
    virtual bool InitInstance() { return true; }
    // The message loop, run only when InitInstance returned true.
    int Run();
    int ExitInstance() { return 0; }

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
};

// The program's application object (null before it is constructed).
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// What the program's WinMain calls: InitInstance, then the loop when it returned true.
int AfxWinMain(HINSTANCE instance);
