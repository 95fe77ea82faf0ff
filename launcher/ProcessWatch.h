#pragma once
#include <string>

// True when a running process has exactly this executable path (letter case ignored).
bool IsProcessRunning(const std::wstring& path);
