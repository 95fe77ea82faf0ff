#pragma once
// Small platform services: registry reads, the default browser, ending the process.
#include <windows.h>
#include <string>

// The default value of a key under HKEY_CLASSES_ROOT (at most 260 bytes).
// buffer must hold at least 260 bytes. ERROR_SUCCESS or the platform's code.
LONG ReadClassesRootValue(const wchar_t* keyPath, wchar_t* buffer);
// The browser command line for url built from an "open" command of the
// registry: cut at the quoted "%1" (or the bare "%1"), then a blank and the url.
std::wstring BuildBrowserCommand(const std::wstring& command, const std::wstring& url);
// Asks the shell to open url; falls back to the .htm handler's command line.
bool OpenUrlInBrowser(const std::wstring& url);
// Ends the process at once with exit code 0; nothing is cleaned up.
[[noreturn]] void TerminateSelf();
