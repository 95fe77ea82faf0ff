#pragma once
#include <string>

// Writes or replaces the shell link "<desktop>\<name>" pointing at target
// (no arguments, working folder, icon or description). Failures are ignored.
void CreateDesktopShortcut(const std::wstring& target, const std::wstring& name);
