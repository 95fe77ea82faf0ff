#include "launcher/ProcessWatch.h"

#include <windows.h>
#include <psapi.h>

#include "afx/ScopedWin.h"
#include "util/InstallPaths.h"

bool IsProcessRunning(const std::wstring& path) {
    DWORD ids[1024];
    DWORD bytes = 0;
    if (!::EnumProcesses(ids, sizeof(ids), &bytes)) return false;
    for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
        ScopedHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]));
        if (!process) continue;
        std::wstring image = GetProcessImagePath(process.Get());
        if (!image.empty() && _wcsicmp(image.c_str(), path.c_str()) == 0) return true;
    }
    return false;
}
