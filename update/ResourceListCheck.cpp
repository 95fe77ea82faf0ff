#include "update/ResourceListCheck.h"

#include <windows.h>
#include <cstdint>
#include <string_view>
#include <unordered_set>

#include "update/ResourcePath.h"
#include "util/TextEncoding.h"

namespace {

const size_t kMd5Digits = 32;

bool IsHexDigits(std::wstring_view field, size_t count) {
    if (field.size() != count) return false;
    for (wchar_t c : field) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'))) return false;
    }
    return true;
}

// Plain decimal digits whose value is at most max.
bool ParseDigits(std::wstring_view field, uint64_t max, uint64_t* value) {
    if (field.empty()) return false;
    uint64_t v = 0;
    for (wchar_t c : field) {
        if (c < L'0' || c > L'9') return false;
        uint64_t digit = static_cast<uint64_t>(c - L'0');
        if (v > (max - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

std::wstring_view Trimmed(std::wstring_view text) {
    while (!text.empty() && IsWhiteSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsWhiteSpace(text.back())) text.remove_suffix(1);
    return text;
}

const size_t kMaxFields = 6;

// The fields between single "=" signs, trimmed, seen in place: a list runs to
// a hundred thousand lines, read on every launch. False unless there are five
// or six and none is empty.
bool SplitFields(std::wstring_view line, std::wstring_view (&fields)[kMaxFields], size_t* count) {
    *count = 0;
    for (;;) {
        size_t end = line.find(L'=');
        std::wstring_view field = Trimmed(line.substr(0, end));
        if (field.empty() || *count == kMaxFields) return false;
        fields[(*count)++] = field;
        if (end == std::wstring_view::npos) break;
        line.remove_prefix(end + 1);
    }
    return *count >= 5;
}

// Whether Windows can hold the file and its temporary file beside it: no name
// in the path longer than 255 characters (the last with the temporary suffix),
// the whole shorter than 32,767 in the long form ResourcePathUnder gives.
bool FitsWindowsPath(const std::wstring& path) {
    const size_t kMaxName = 255;
    const size_t kMaxPath = 32767;
    const size_t suffix = wcslen(kResourceTemporarySuffix);
    if (path.size() + suffix >= kMaxPath) return false;
    size_t start = 0;
    for (;;) {
        size_t end = path.find(L'\\', start);
        size_t length = (end == std::wstring::npos ? path.size() : end) - start;
        if (end == std::wstring::npos) return length + suffix <= kMaxName;
        if (length > kMaxName) return false;
        start = end + 1;
    }
}

// The fault of one line, given the files earlier lines already claimed.
CdnListFault CheckLine(std::wstring_view line, const CdnListTargets& targets,
                       const std::unordered_set<std::wstring>& own, std::unordered_set<std::wstring>* claimed,
                       ResoureConfigInfo* entry) {
    std::wstring_view fields[kMaxFields];
    size_t count = 0;
    if (!SplitFields(line, fields, &count)) return CdnListFault::Fields;
    if (!IsHexDigits(fields[1], kMd5Digits)) return CdnListFault::Md5;
    uint64_t offset = 0;
    uint64_t size = 0;
    if (!ParseDigits(fields[3], INT64_MAX, &offset) || !ParseDigits(fields[4], UINT32_MAX, &size) ||
        size > static_cast<uint64_t>(INT64_MAX) - offset) {
        return CdnListFault::Number;
    }
    entry->name.assign(fields[0]);
    entry->md5.assign(fields[1]);
    entry->remoteFolder.assign(fields[2]);
    entry->offset = static_cast<int64_t>(offset);
    entry->size = static_cast<uint32_t>(size);
    if (count > 5) entry->category.assign(fields[5]);

    const std::wstring& root =
        IsLauncherCategory(entry->category) ? targets.launcherRoot : targets.resourceFilesFolder;
    std::wstring path;
    if (!ResourcePathUnder(root, entry->name, &path)) return CdnListFault::Name;
    if (size == 0 || !FitsWindowsPath(path)) return CdnListFault::Uninstallable;
    // ResourcePathUnder refuses temporary files' names too.
    std::wstring key = FoldResourceName(std::move(path));
    if (own.count(key)) return CdnListFault::OwnFile;
    if (!claimed->insert(std::move(key)).second) return CdnListFault::Duplicate;
    return CdnListFault::None;
}

}  // namespace

CdnListCheck ReadCdnResourceList(const std::wstring& text, const CdnListTargets& targets,
                                 std::vector<ResoureConfigInfo>* entries) {
    CdnListCheck check;
    // Hashed: the keys are full paths that share a long prefix, which an
    // ordered set would compare again and again.
    std::unordered_set<std::wstring> own;
    for (const std::wstring& file : targets.ownFiles) own.insert(FoldResourceName(file));
    // Sized once for every line, so neither grows (and copies) on the way.
    size_t breaks = 1;
    for (wchar_t c : text) breaks += c == L'\n' || c == L'\r';
    std::unordered_set<std::wstring> claimed;
    claimed.reserve(breaks);
    std::vector<ResoureConfigInfo> read;
    read.reserve(breaks);
    // The lines, seen in place: CR LF, a lone CR and a lone LF each end one.
    const std::wstring_view all(text);
    int blank = 0;  // the first blank line, counted from 1, if any
    int number = 0;
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find_first_of(L"\r\n", start);
        if (end == std::wstring_view::npos) end = all.size();
        const std::wstring_view line = all.substr(start, end - start);
        if (end < all.size() && all[end] == L'\r' && end + 1 < all.size() && all[end + 1] == L'\n') ++end;
        start = end + 1;
        ++number;
        if (Trimmed(line).empty()) {
            if (blank == 0) blank = number;
            continue;
        }
        if (blank != 0) {
            check.fault = CdnListFault::BlankLine;
            check.line = blank;
            return check;
        }
        ResoureConfigInfo entry;
        CdnListFault fault = CheckLine(line, targets, own, &claimed, &entry);
        if (fault != CdnListFault::None) {
            check.fault = fault;
            check.line = number;
            check.lineText.assign(line);
            return check;
        }
        read.push_back(std::move(entry));
    }
    entries->swap(read);
    return check;
}
