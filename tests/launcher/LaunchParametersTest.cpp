#include <gtest/gtest.h>

#include "launcher/LaunchParameters.h"

namespace {
const wchar_t kModule[] = L"C:\\Games\\Launcher\\talmodrel.exe";
const wchar_t kQuoted[] = L"\"C:\\Games\\Launcher\\talmodrel.exe\"";
}

TEST(LaunchParameters, FindTable) {
    const struct {
        std::wstring tail;  // after the quoted program path
        const wchar_t* key;
        bool found;
        const wchar_t* value;
    } cases[] = {
        {L" LAUNCHER_REBOOT=TRUE", L"LAUNCHER_REBOOT", true, L"TRUE"},
        {L" launcher_reboot=true", L"LAUNCHER_REBOOT", true, L"true"},
        {L" ENTRANCE=C:/Game+Dir/entry.exe", L"ENTRANCE", true, L"C:/Game Dir/entry.exe"},
        {L" ENTRANCE=C:\\Game%20Dir\\entry.exe", L"ENTRANCE", true, L"C:\\Game Dir\\entry.exe"},
        {L" ENTRANCE=C:\\Game Dir\\entry.exe", L"ENTRANCE", true, L"C:\\Game"},
        {L" ENTRANCE=a=b=c", L"ENTRANCE", true, L"a=b=c"},
        {L" ENTRANCE=first ENTRANCE=second", L"ENTRANCE", true, L"first"},
        {L"   A=1    B=2  ", L"B", true, L"2"},
        {L" LAUNCHER_REBOOT", L"LAUNCHER_REBOOT", false, L"kept"},
        {L" OTHER=1", L"ENTRANCE", false, L"kept"},
        {L" A=1 \t B=2", L"B", false, L"kept"},  // a token of only a tab ends the walk
        {L" ENTRANCE=%D6%D0", L"ENTRANCE", true, L"中"},  // escapes are code-page-936 bytes
    };
    for (const auto& c : cases) {
        std::wstring value = L"kept";
        EXPECT_EQ(c.found, FindLaunchParameter(kQuoted + c.tail, kModule, c.key, &value)) << c.tail;
        EXPECT_EQ(c.value, value) << c.tail;
    }
}

TEST(LaunchParameters, UnquotedProgramPathIsJustAnotherToken) {
    std::wstring value;
    EXPECT_TRUE(FindLaunchParameter(std::wstring(kModule) + L" ENTRANCE=x", kModule, L"ENTRANCE", &value));
    EXPECT_EQ(L"x", value);
    // A quoted path with "=" in it is removed before tokens are looked at.
    std::wstring oddModule = L"C:\\a=b\\talmodrel.exe";
    EXPECT_FALSE(FindLaunchParameter(L"\"" + oddModule + L"\"", oddModule, L"C:\\a", &value));
}

TEST(LaunchParameters, CharacterOutsideCodePageBecomesDefault) {
    std::wstring value;
    ASSERT_TRUE(FindLaunchParameter(std::wstring(kQuoted) + L" ENTRANCE=a\x0E01" L"b", kModule,
                                    L"ENTRANCE", &value));
    EXPECT_EQ(L"a?b", value);
}
