#include "launcher/DownloadSettings.h"

#include <windows.h>

#include "update/FileReplace.h"
#include "util/DebugTrace.h"
#include "util/FileUtils.h"
#include "util/TextEncoding.h"

namespace {
const char kLimitKey[] = "speed_limit_mb=";
const wchar_t kSettingsFileName[] = L"settings.txt";
}  // namespace

std::wstring DownloadSettingsPath(const std::wstring& dataFolder) { return dataFolder + kSettingsFileName; }

uint32_t LoadSpeedLimitMb(const std::wstring& path) {
    std::string bytes;
    if (!ReadFileBytes(path, &bytes)) return 0;
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    const std::string key = kLimitKey;
    if (bytes.compare(0, key.size(), key) == 0) {
        const std::string value = bytes.substr(key.size());
        for (uint32_t choice : kSpeedLimitChoices) {
            if (value == std::to_string(choice)) return choice;
        }
    }
    DebugTrace(L"下载设置无效\t" + path);
    return 0;
}

bool SaveSpeedLimitMb(const std::wstring& path, uint32_t mb) {
    if (!ReplaceFileBytes(path, kLimitKey + std::to_string(mb) + "\r\n")) {
        DebugTrace(L"保存下载设置失败\t" + IntToText(static_cast<int32_t>(::GetLastError())));
        return false;
    }
    return true;
}

uint64_t SpeedLimitBytesPerSecond(uint32_t mb) { return static_cast<uint64_t>(mb) << 20; }
