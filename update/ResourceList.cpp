#include "update/ResourceList.h"

#include <cwchar>
#include <cstdlib>

#include "launcher/LauncherLog.h"
#include "util/TextEncoding.h"

namespace {

// Columns 4 and 5 read like the C library's base-10 conversions: optional sign,
// digits up to the first other character, 0 without a digit, saturation.
int64_t ParseInt64(const std::wstring& field) {
    return static_cast<int64_t>(std::wcstoll(field.c_str(), nullptr, 10));
}

static_assert(sizeof(long) == 4, "wcstol must saturate at the 32-bit limits");
int32_t ParseInt32(const std::wstring& field) {
    return static_cast<int32_t>(std::wcstol(field.c_str(), nullptr, 10));
}

void AppendEntryLine(const ResoureConfigInfo& entry, std::wstring* out) {
    out->append(entry.name).append(L"=").append(entry.md5).append(L"\r\n");
}

}  // namespace

bool ParseResourceList(const std::wstring& text, std::vector<ResoureConfigInfo>* out) {
    // A run of CR/LF is one separator; a line of blanks ends the list (SplitText
    // stops at the first token that is empty after trimming).
    std::vector<std::wstring> lines;
    SplitText(text, L"\r\n", &lines);
    for (const std::wstring& line : lines) {
        std::vector<std::wstring> fields;
        SplitText(line, L"=", &fields);
        if (fields.size() < 2) continue;
        ResoureConfigInfo entry;
        entry.name = fields[0];
        entry.md5 = fields[1];
        if (fields.size() > 2) entry.remoteFolder = fields[2];
        if (fields.size() > 3) entry.offset = ParseInt64(fields[3]);
        if (fields.size() > 4) entry.size = static_cast<uint32_t>(ParseInt32(fields[4]));
        if (fields.size() > 5) entry.category = fields[5];
        out->push_back(entry);
    }
    return true;
}

bool FormatResourceList(const std::vector<ResoureConfigInfo>& entries, std::wstring* out) {
    if (entries.empty()) return false;
    for (const ResoureConfigInfo& entry : entries) AppendEntryLine(entry, out);
    return true;
}

bool FormatResourceList(const ResourceInfoMap& map, std::wstring* out) {
    if (map.empty()) return false;
    for (const auto& item : map) AppendEntryLine(item.second, out);
    return true;
}

bool InsertResourceEntry(ResourceInfoMap* map, const ResoureConfigInfo& entry, const wchar_t* tracePrefix) {
    if (map->emplace(entry.name, entry).second) return true;
    DebugTrace(tracePrefix + entry.name);
    return false;
}

bool IsLauncherCategory(const std::wstring& category) {
    return _wcsicmp(category.c_str(), L"launcher") == 0;
}
