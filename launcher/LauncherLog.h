#pragma once
// The launcher's log file "DRELLog.txt" in the data folder: only the game-start
// lines (everything else goes to the debug trace, util/DebugTrace).
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
