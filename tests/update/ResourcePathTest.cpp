#include <gtest/gtest.h>

#include <windows.h>

#include "update/ResourcePath.h"
#include "util/FileUtils.h"

namespace {

// How Windows itself resolves a path: what the lexical rules must agree with.
std::wstring ResolvedByWindows(const std::wstring& path) {
    wchar_t buffer[1024];
    DWORD n = ::GetFullPathNameW(path.c_str(), 1024, buffer, nullptr);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

}  // namespace

TEST(ResourcePathUnder, AcceptsNamesInsideTheRoot) {
    const struct { const wchar_t* name; const wchar_t* path; } cases[] = {
        {L"a.png", L"C:\\root\\a.png"},
        {L"res\\ui\\a.png", L"C:\\root\\res\\ui\\a.png"},
        {L"res/ui/a.png", L"C:\\root\\res\\ui\\a.png"},
        {L"中文\\名字.txt", L"C:\\root\\中文\\名字.txt"},
        {L"..a\\b..c", L"C:\\root\\..a\\b..c"},
        {L".hidden", L"C:\\root\\.hidden"},
        {L"console.txt", L"C:\\root\\console.txt"},
        {L"com10", L"C:\\root\\com10"},
        {L"a .b\\c d.e.f", L"C:\\root\\a .b\\c d.e.f"},
    };
    for (const auto& c : cases) {
        std::wstring path;
        EXPECT_TRUE(ResourcePathUnder(L"C:\\root\\", c.name, &path)) << c.name;
        EXPECT_EQ(c.path, path) << c.name;
        EXPECT_EQ(c.path, ResolvedByWindows(path)) << c.name;
    }
}

TEST(ResourcePathUnder, DeepNamesGetTheLongForm) {
    const std::wstring folder(kLongPathFrom, L'd');
    std::wstring path;
    ASSERT_TRUE(ResourcePathUnder(L"C:\\root\\", folder + L"/a.bin", &path));
    EXPECT_EQ(L"\\\\?\\C:\\root\\" + folder + L"\\a.bin", path);
}

TEST(ResourcePathUnder, RefusesNamesThatLeaveTheRoot) {
    const wchar_t* names[] = {
        L"", L"..\\evil.txt", L"../evil.txt", L"a\\..\\..\\evil.txt", L"a/../b", L"..",
        L"\\evil.txt", L"/evil.txt", L"\\\\server\\share\\evil.txt", L"//server/share/x",
        L"\\\\?\\C:\\evil.txt", L"C:\\evil.txt", L"C:evil.txt", L"c:/evil.txt",
        L"a.txt:stream", L"a\\.\\b", L"a\\\\b", L"a\\", L".. \\evil.txt", L"...\\x", L"a.\\b", L"a \\b",
        L"CON", L"nul.txt", L"a\\Com1.dat", L"LPT9", L"aux .png", L"ConOut$.log", L"lpt\u00B9",
        L"a/b.DrelPart",
        L"a*b", L"a?b", L"a|b", L"a<b", L"a>b", L"a\"b", L"a\tb",
    };
    for (const wchar_t* name : names) {
        std::wstring path = L"untouched";
        EXPECT_FALSE(ResourcePathUnder(L"C:\\root\\", name, &path)) << name;
        EXPECT_EQ(L"untouched", path) << name;
    }
    std::wstring path;
    EXPECT_FALSE(ResourcePathUnder(L"C:\\root", L"a", &path));  // a root must end in a backslash
    EXPECT_FALSE(ResourcePathUnder(L"", L"a", &path));
}
