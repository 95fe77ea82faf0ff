#pragma once
// Owner of one WinINet handle (session, connection or request): our stand-in
// for MFC's CInternetSession, CHttpConnection and CHttpFile lifetimes.
#include <windows.h>
#include <wininet.h>

#include "afx/ScopedWin.h"

struct InternetHandleCloser {
    void operator()(HINTERNET h) const { ::InternetCloseHandle(h); }
};
using ScopedInternetHandle = ScopedResource<HINTERNET, nullptr, InternetHandleCloser>;
