#pragma once
// The player's download speed limit, kept in one small settings file in the
// data folder so that it holds for the next start too. The file is one line,
// "speed_limit_mb=N" (N one of the menu's choices), replaced as a whole.
#include <cstdint>
#include <string>

// The choices of the menu in MB/s (1 MB = 1,048,576 bytes, as the speed line
// counts them); 0: no limit.
const uint32_t kSpeedLimitChoices[] = {0, 1, 2, 5, 10};

// The settings file in a data folder (ending in a backslash).
std::wstring DownloadSettingsPath(const std::wstring& dataFolder);
// The saved limit; 0 (no limit) without the file, and, traced, for a file that
// is not one of the choices' lines.
uint32_t LoadSpeedLimitMb(const std::wstring& path);
// Replaces the file in one step (temporary file, then one move); false when
// it could not, the old file then being whole.
bool SaveSpeedLimitMb(const std::wstring& path, uint32_t mb);
uint64_t SpeedLimitBytesPerSecond(uint32_t mb);
