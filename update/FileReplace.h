#pragma once
// Replacing a file that must never be lost half-written (version.txt): a crash
// or a full disk in the middle leaves either the old or the new content.
#include <windows.h>
#include <string>

// Writes the bytes to "<path>.new" (creating missing folders), flushes it, and
// moves it over path in one step. False, with path untouched and the temporary
// file removed, when any step fails.
bool ReplaceFileBytes(const std::wstring& path, const std::string& bytes);
// Why replacing target failed with error: Windows answers a target that
// another program holds open with ERROR_ACCESS_DENIED, as it does a read-only
// one; opening it for deletion, as the move would, tells the two apart
// (ERROR_SHARING_VIOLATION: held). Any other error is given back as it is.
DWORD WhyNotReplaced(const std::wstring& target, DWORD error);
