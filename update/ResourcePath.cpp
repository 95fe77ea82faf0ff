#include "update/ResourcePath.h"

#include <windows.h>
#include <cwchar>
#include <string_view>

#include "util/FileUtils.h"

namespace {

// Equality with an ASCII word, A-Z matching a-z as _wcsnicmp does in the C
// locale; inline, since every segment of every listed name meets a few.
bool SameAscii(std::wstring_view piece, std::wstring_view word) {
    if (piece.size() != word.size()) return false;
    for (size_t i = 0; i < piece.size(); ++i) {
        wchar_t a = piece[i], b = word[i];
        if (a >= L'A' && a <= L'Z') a = static_cast<wchar_t>(a - L'A' + L'a');
        if (b >= L'A' && b <= L'Z') b = static_cast<wchar_t>(b - L'A' + L'a');
        if (a != b) return false;
    }
    return true;
}

bool IsReservedDeviceName(std::wstring_view segment) {
    // Windows maps these to devices in any folder and with any extension.
    std::wstring_view stem = segment.substr(0, segment.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
    static constexpr std::wstring_view kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (std::wstring_view device : kDevices) {
        if (SameAscii(stem, device)) return true;
    }
    if (stem.size() == 4 && (SameAscii(stem.substr(0, 3), L"COM") || SameAscii(stem.substr(0, 3), L"LPT"))) {
        wchar_t digit = stem[3];
        // COM1..COM9 and LPT1..LPT9, also with the superscript digits Windows accepts.
        if ((digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3) return true;
    }
    return false;
}

// ":" covers drive letters and streams; the rest cannot be in a file name.
bool CanBeInName(wchar_t c) {
    switch (c) {
        case L':': case L'*': case L'?': case L'"': case L'<': case L'>': case L'|': return false;
        default: return c >= 0x20;
    }
}

bool IsSafeSegment(std::wstring_view segment) {
    if (segment.empty()) return false;
    // "..", "." and names Windows trims to them (". .", "..  ") or to another name.
    if (segment.back() == L'.' || segment.back() == L' ') return false;
    // An entry named like a temporary file could be taken for a leftover and
    // deleted, or collide with a download under way.
    const std::wstring_view suffix(kResourceTemporarySuffix);
    bool temporary = segment.size() >= suffix.size() && SameAscii(segment.substr(segment.size() - suffix.size()), suffix);
    return !IsReservedDeviceName(segment) && !temporary;
}

}  // namespace

bool HasTemporarySuffix(const std::wstring& name) {
    const size_t n = wcslen(kResourceTemporarySuffix);
    return name.size() >= n && _wcsicmp(name.c_str() + name.size() - n, kResourceTemporarySuffix) == 0;
}

std::wstring FoldResourceName(std::wstring name) {
    std::wstring folded = std::move(name);  // a moved name is folded where it is
    for (wchar_t& c : folded) {
        if (c == L'/') c = L'\\';
    }
    if (!folded.empty()) {
        ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, folded.c_str(), static_cast<int>(folded.size()), &folded[0],
                       static_cast<int>(folded.size()));
    }
    return folded;
}

bool ResourcePathUnder(const std::wstring& root, const std::wstring& name, std::wstring* path) {
    if (root.empty() || root.back() != L'\\' || name.empty()) return false;
    // The name is checked where it stands and the path made in one piece:
    // a list of a hundred thousand entries is checked on every launch.
    auto isSlash = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    if (isSlash(name[0])) return false;  // rooted, UNC or \\?\ prefixes
    const std::wstring_view all(name);
    size_t start = 0;
    for (size_t i = 0;; ++i) {
        if (i == all.size() || isSlash(all[i])) {
            if (!IsSafeSegment(all.substr(start, i - start))) return false;
            if (i == all.size()) break;
            start = i + 1;
        } else if (!CanBeInName(all[i])) {
            return false;
        }
    }
    // With no drive, no rooted start and no "." or ".." segment, nothing in the
    // name can make Windows resolve it to another folder: the path is the root
    // followed by the name, as it stands, "/" as "\". (No per-name
    // GetFullPathNameW.) Deep game folders install too, in the long form.
    const size_t prefix = LongPathPrefixLength(root, root.size() + name.size());
    path->clear();
    path->reserve(prefix + root.size() + name.size());
    if (prefix > 0) path->append(L"\\\\?\\");
    path->append(root);
    const size_t named = path->size();
    path->append(name);
    for (size_t i = named; i < path->size(); ++i) {
        if ((*path)[i] == L'/') (*path)[i] = L'\\';
    }
    return true;
}
