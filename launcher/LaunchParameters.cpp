#include "launcher/LaunchParameters.h"

#include <windows.h>
#include <vector>

#include "util/InstallPaths.h"
#include "util/TextEncoding.h"

bool FindLaunchParameter(const std::wstring& commandLine, const std::wstring& modulePath,
                         const std::wstring& key, std::wstring* value) {
    std::wstring line = commandLine;
    const std::wstring quoted = L"\"" + modulePath + L"\"";
    for (size_t pos; (pos = line.find(quoted)) != std::wstring::npos;) line.erase(pos, quoted.size());

    std::vector<std::wstring> tokens;
    SplitText(TrimWhiteSpace(line), L" ", &tokens);
    for (const std::wstring& token : tokens) {
        size_t equals = token.find(L'=');
        if (equals == std::wstring::npos) continue;
        if (_wcsicmp(token.substr(0, equals).c_str(), key.c_str()) != 0) continue;
        *value = AnsiToText(UrlDecode(TextToAnsi(token.substr(equals + 1))));
        return true;
    }
    return false;
}

bool GetLaunchParameter(const std::wstring& key, std::wstring* value) {
    return FindLaunchParameter(::GetCommandLineW(), GetModulePath(), key, value);
}

namespace {
bool IsParameterTrue(const wchar_t* key) {
    std::wstring value;
    return GetLaunchParameter(key, &value) && _wcsicmp(value.c_str(), L"TRUE") == 0;
}
}  // namespace

bool IsRebootRequested() { return IsParameterTrue(L"LAUNCHER_REBOOT"); }

bool IsRepairRequested() { return IsParameterTrue(L"REPAIR"); }
