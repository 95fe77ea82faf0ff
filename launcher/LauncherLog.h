#pragma once
// The launcher's two diagnostic outputs: the log file "DRELLog.txt" in the data
// folder (only the game-start lines) and the debug trace (everything else).
#include <cstdint>
#include <string>

std::wstring GetLogFilePath();
// "[%Y-%m-%d %H:%M:%S] " for the current local time.
std::string FormatLogTimestamp();
// Appends one timestamped line (CR LF) in the ANSI code page; a line that
// cannot be written is lost silently.
void WriteLogLine(const std::wstring& text);
void WriteLogLine(const std::string& bytes);
void WriteLogLine(int32_t value);
// One line to the debugger output and to standard output, written verbatim.
void DebugTrace(const std::wstring& text);
