#include "update/ResourcePath.h"

#include <windows.h>
#include <cwchar>
#include <string_view>

#include "util/FileUtils.h"

namespace {

// Case-insensitive equality of a piece of a name with a device name.
bool SameName(std::wstring_view piece, const wchar_t* device) {
    size_t n = wcslen(device);
    return piece.size() == n && _wcsnicmp(piece.data(), device, n) == 0;
}

bool IsReservedDeviceName(std::wstring_view segment) {
    // Windows maps these to devices in any folder and with any extension.
    std::wstring_view stem = segment.substr(0, segment.find(L'.'));
    while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t* device : kDevices) {
        if (SameName(stem, device)) return true;
    }
    if (stem.size() == 4 && (_wcsnicmp(stem.data(), L"COM", 3) == 0 || _wcsnicmp(stem.data(), L"LPT", 3) == 0)) {
        wchar_t digit = stem[3];
        // COM1..COM9 and LPT1..LPT9, also with the superscript digits Windows accepts.
        if ((digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3) return true;
    }
    return false;
}

bool IsSafeSegment(std::wstring_view segment) {
    if (segment.empty()) return false;
    // "..", "." and names Windows trims to them (". .", "..  ") or to another name.
    if (segment.back() == L'.' || segment.back() == L' ') return false;
    // An entry named like a temporary file could be taken for a leftover and
    // deleted, or collide with a download under way.
    const size_t n = wcslen(kResourceTemporarySuffix);
    bool temporary = segment.size() >= n && _wcsnicmp(segment.data() + segment.size() - n, kResourceTemporarySuffix, n) == 0;
    return !IsReservedDeviceName(segment) && !temporary;
}

}  // namespace

bool HasTemporarySuffix(const std::wstring& name) {
    const size_t n = wcslen(kResourceTemporarySuffix);
    return name.size() >= n && _wcsicmp(name.c_str() + name.size() - n, kResourceTemporarySuffix) == 0;
}

std::wstring FoldResourceName(const std::wstring& name) {
    std::wstring folded = name;
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
    std::wstring relative = name;
    for (wchar_t& c : relative) {
        if (c == L'/') c = L'\\';
        // ":" covers drive letters and streams; the rest cannot be in a file name.
        if (c < 0x20 || wcschr(L":*?\"<>|", c)) return false;
    }
    if (relative[0] == L'\\') return false;  // rooted, UNC or \\?\ prefixes
    size_t start = 0;
    for (;;) {
        size_t end = relative.find(L'\\', start);
        std::wstring_view all(relative);
        if (!IsSafeSegment(all.substr(start, end == std::wstring::npos ? end : end - start))) return false;
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    // With no drive, no rooted start and no "." or ".." segment, nothing in the
    // name can make Windows resolve it to another folder: the path is the root
    // followed by the name, as it stands. (No per-name GetFullPathNameW: a list
    // of tens of thousands of entries is checked on every launch.)
    *path = LongPathForm(root + relative);  // deep game folders install too
    return true;
}
