#include "update/ResourceListCheck.h"

#include <windows.h>
#include <cstdint>
#include <unordered_set>

#include "update/ResourcePath.h"
#include "util/TextEncoding.h"

namespace {

const size_t kMd5Digits = 32;

bool IsHexDigits(const std::wstring& field, size_t count) {
    if (field.size() != count) return false;
    for (wchar_t c : field) {
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'))) return false;
    }
    return true;
}

// Plain decimal digits whose value is at most max.
bool ParseDigits(const std::wstring& field, uint64_t max, uint64_t* value) {
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

// The fields between single "=" signs, trimmed; false unless there are five
// or six and none is empty.
bool SplitFields(const std::wstring& line, std::vector<std::wstring>* fields) {
    size_t start = 0;
    for (;;) {
        size_t end = line.find(L'=', start);
        std::wstring field = TrimWhiteSpace(line.substr(start, end == std::wstring::npos ? end : end - start));
        if (field.empty()) return false;
        fields->push_back(std::move(field));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return fields->size() == 5 || fields->size() == 6;
}

// The lines of the text: CR LF, a lone CR and a lone LF each end one.
std::vector<std::wstring> SplitLines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        if (end < text.size() && text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n') ++end;
        start = end + 1;
    }
    return lines;
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
CdnListFault CheckLine(const std::wstring& line, const CdnListTargets& targets,
                       const std::unordered_set<std::wstring>& own, std::unordered_set<std::wstring>* claimed,
                       ResoureConfigInfo* entry) {
    std::vector<std::wstring> fields;
    fields.reserve(6);
    if (!SplitFields(line, &fields)) return CdnListFault::Fields;
    if (!IsHexDigits(fields[1], kMd5Digits)) return CdnListFault::Md5;
    uint64_t offset = 0;
    uint64_t size = 0;
    if (!ParseDigits(fields[3], INT64_MAX, &offset) || !ParseDigits(fields[4], UINT32_MAX, &size) ||
        size > static_cast<uint64_t>(INT64_MAX) - offset) {
        return CdnListFault::Number;
    }
    entry->name = std::move(fields[0]);
    entry->md5 = std::move(fields[1]);
    entry->remoteFolder = std::move(fields[2]);
    entry->offset = static_cast<int64_t>(offset);
    entry->size = static_cast<uint32_t>(size);
    if (fields.size() > 5) entry->category = std::move(fields[5]);

    const std::wstring& root =
        IsLauncherCategory(entry->category) ? targets.launcherRoot : targets.resourceFilesFolder;
    std::wstring path;
    if (!ResourcePathUnder(root, entry->name, &path)) return CdnListFault::Name;
    if (size == 0 || !FitsWindowsPath(path)) return CdnListFault::Uninstallable;
    // ResourcePathUnder refuses temporary files' names too.
    std::wstring key = FoldResourceName(path);
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
    std::unordered_set<std::wstring> claimed;
    std::vector<ResoureConfigInfo> read;
    std::vector<std::wstring> lines = SplitLines(text);
    size_t blank = lines.size();  // the first blank line, if any
    for (size_t i = 0; i < lines.size(); ++i) {
        if (TrimWhiteSpace(lines[i]).empty()) {
            if (blank == lines.size()) blank = i;
            continue;
        }
        if (blank < i) {
            check.fault = CdnListFault::BlankLine;
            check.line = static_cast<int>(blank) + 1;
            return check;
        }
        ResoureConfigInfo entry;
        CdnListFault fault = CheckLine(lines[i], targets, own, &claimed, &entry);
        if (fault != CdnListFault::None) {
            check.fault = fault;
            check.line = static_cast<int>(i) + 1;
            check.lineText = lines[i];
            return check;
        }
        read.push_back(std::move(entry));
    }
    entries->swap(read);
    return check;
}
