#pragma once
// The debug trace: one line to the debugger output and to standard output, for
// every layer (the launcher's own log file, DRELLog.txt, is launcher/LauncherLog).
#include <string>

// Written verbatim, followed by CR LF; standard output gets it in the ANSI code page.
void DebugTrace(const std::wstring& text);
// The same for head followed by text, made into one line without a copy of
// the text first: a whole list traced is megabytes.
void DebugTrace(const wchar_t* head, const std::wstring& text);
// A failed step on the disk, with the system's error code (taken first, so call
// it right after the failure), as network failures are traced with theirs:
// "写入磁盘失败\t<code>\t<step>[\t<what>]".
void TraceDiskError(const wchar_t* step, const std::wstring& what = std::wstring());
