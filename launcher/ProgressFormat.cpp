#include "launcher/ProgressFormat.h"

#include <cstdio>

namespace {
const uint64_t kKiB = 1024;
const uint64_t kMiB = 1048576;
const uint64_t kGiB = 1073741824;

std::wstring Format(const wchar_t* format, double value) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, format, value);
    return buffer;
}
}  // namespace

std::wstring FormatSize(uint64_t bytes) {
    if (bytes < kKiB) return L"1 KB";
    if (bytes < kMiB) {
        wchar_t buffer[32];
        std::swprintf(buffer, 32, L"%I64uKB", static_cast<unsigned long long>(bytes / kKiB + 1));
        return buffer;
    }
    if (bytes < kGiB) return Format(L"%.2lfMB", static_cast<double>(bytes) / kMiB);
    return Format(L"%.2lfG", static_cast<double>(bytes) / kGiB);
}

std::wstring FormatSizeSigned(int64_t bytes) {
    return bytes < 0 ? L"1 KB" : FormatSize(static_cast<uint64_t>(bytes));
}

std::wstring FormatDuration(int32_t seconds) {
    wchar_t buffer[64];
    if (seconds < 60) {
        std::swprintf(buffer, 64, L"%d秒", static_cast<int>(seconds));
    } else if (seconds >= 3600) {
        return Format(L"%.2lf小时", seconds / 3600.0);
    } else {
        std::swprintf(buffer, 64, L"%d分%d秒", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    }
    return buffer;
}
