#pragma once
// KEY=VALUE parameters on the launcher's command line (LAUNCHER_REBOOT, ENTRANCE).
#include <string>

// The value of key (compared without letter case) in commandLine, after the
// quoted program path is removed; values are URL-escaped ("+", "%XY").
// The first token with the key wins; *value is untouched when there is none.
bool FindLaunchParameter(const std::wstring& commandLine, const std::wstring& modulePath,
                         const std::wstring& key, std::wstring* value);
// The same over this process's command line, read anew at every call.
bool GetLaunchParameter(const std::wstring& key, std::wstring* value);
// LAUNCHER_REBOOT=TRUE (any letter case): restarted by the launcher's own self-update.
bool IsRebootRequested();
// REPAIR=TRUE (any case): check every installed file before the update.
bool IsRepairRequested();
