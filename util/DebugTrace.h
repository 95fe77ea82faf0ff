#pragma once
// The debug trace: one line to the debugger output and to standard output, for
// every layer (the launcher's own log file, DRELLog.txt, is launcher/LauncherLog).
#include <string>

// Written verbatim, followed by CR LF; standard output gets it in the ANSI code page.
void DebugTrace(const std::wstring& text);
