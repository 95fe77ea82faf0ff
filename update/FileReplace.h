#pragma once
// Replacing a file that must never be lost half-written (version.txt): a crash
// or a full disk in the middle leaves either the old or the new content.
#include <string>

// Writes the bytes to "<path>.new" (creating missing folders), flushes it, and
// moves it over path in one step. False, with path untouched and the temporary
// file removed, when any step fails.
bool ReplaceFileBytes(const std::wstring& path, const std::string& bytes);
