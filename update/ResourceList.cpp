#include "update/ResourceList.h"

#include <cwchar>
#include <cstdlib>

#include "util/DebugTrace.h"
#include "util/TextEncoding.h"

namespace {

// Columns 4 and 5 read like the C library's base-10 conversions: optional sign,
// digits up to the first other character, 0 without a digit, saturation. A
// field is read where it stands: what follows a trimmed field (white space, "=",
// a line break or the text's end) always stops the conversion.
int64_t ParseInt64(const wchar_t* field) { return static_cast<int64_t>(std::wcstoll(field, nullptr, 10)); }

static_assert(sizeof(long) == 4, "wcstol must saturate at the 32-bit limits");
int32_t ParseInt32(const wchar_t* field) { return static_cast<int32_t>(std::wcstol(field, nullptr, 10)); }

void AppendEntryLine(const ResoureConfigInfo& entry, std::wstring* out) {
    out->append(entry.name).append(L"=").append(entry.md5).append(L"\r\n");
}

}  // namespace

void ParseResourceList(const std::wstring& text, std::vector<ResoureConfigInfo>* out) {
    // A run of CR/LF is one separator; a line of blanks ends the list (the walk
    // stops at the first token that is empty after trimming). Lists run to a
    // hundred thousand lines, so fields are read in place, not copied out first.
    const wchar_t* begin = text.data();
    // Room for every line at once: the entries are not moved again as it grows.
    size_t breaks = 1;
    for (wchar_t c : text) breaks += c == L'\n';
    out->reserve(out->size() + breaks);
    auto isLineBreak = [](wchar_t c) { return c == L'\r' || c == L'\n'; };
    auto isEquals = [](wchar_t c) { return c == L'='; };
    ForEachToken(begin, begin + text.size(), isLineBreak, [&](const wchar_t* line, const wchar_t* lineEnd) {
        ResoureConfigInfo entry;
        int fields = 0;
        ForEachToken(line, lineEnd, isEquals, [&entry, &fields](const wchar_t* first, const wchar_t* last) {
            switch (fields++) {
                case 0: entry.name.assign(first, last); break;
                case 1: entry.md5.assign(first, last); break;
                case 2: entry.remoteFolder.assign(first, last); break;
                case 3: entry.offset = ParseInt64(first); break;
                case 4: entry.size = static_cast<uint32_t>(ParseInt32(first)); break;
                case 5: entry.category.assign(first, last); break;
                default: return false;  // columns past the sixth are ignored
            }
            return true;
        });
        if (fields >= 2) out->push_back(std::move(entry));
        return true;
    });
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

bool InsertResourceEntry(ResourceInfoMap* map, ResoureConfigInfo&& entry, const wchar_t* tracePrefix) {
    // Lists usually come in name order (the packer and version.txt write them
    // so): then the entry belongs at the end, and the hint spares the search.
    auto hint = map->empty() || map->rbegin()->first < entry.name ? map->end() : map->lower_bound(entry.name);
    if (hint != map->end() && hint->first == entry.name) {
        DebugTrace(tracePrefix + entry.name);
        return false;
    }
    std::wstring name = entry.name;
    map->emplace_hint(hint, std::move(name), std::move(entry));
    return true;
}

bool InsertResourceEntry(ResourceInfoMap* map, const ResoureConfigInfo& entry, const wchar_t* tracePrefix) {
    return InsertResourceEntry(map, ResoureConfigInfo(entry), tracePrefix);
}

bool IsLauncherCategory(const std::wstring& category) {
    return _wcsicmp(category.c_str(), L"launcher") == 0;
}
