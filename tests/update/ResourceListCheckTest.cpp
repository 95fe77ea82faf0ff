#include <gtest/gtest.h>

#include "update/ResourceListCheck.h"

namespace {

const wchar_t kMd5[] = L"0123456789ABCDEF0123456789abcdef";

CdnListTargets Targets() {
    CdnListTargets targets;
    targets.launcherRoot = L"C:\\root\\";
    targets.resourceFilesFolder = L"C:\\root\\game\\";
    targets.ownFiles = {L"C:\\root\\version.txt", L"C:\\root\\launcher_manifest.txt", L"C:\\root\\launcher.tmp"};
    return targets;
}

// name=md5=res1=offset=size, with an optional category.
std::wstring Line(const std::wstring& name, const std::wstring& offset = L"0", const std::wstring& size = L"10",
                  const std::wstring& category = L"") {
    return name + L"=" + kMd5 + L"=res1=" + offset + L"=" + size + (category.empty() ? L"" : L"=" + category) +
           L"\r\n";
}

std::wstring Repeated(const std::wstring& piece, int times) {
    std::wstring out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

}  // namespace

TEST(CdnListCheck, AGoodListReadsWhole) {
    std::wstring text = Line(L"a.txt") + L" sub/b.bin = " + kMd5 + L" = res2 = 9223372036854775797 = 10 \r" +
                        Line(L"a.txt", L"5", L"4294967295", L"Launcher") + L"  \t \n\r\n";
    std::vector<ResoureConfigInfo> entries;
    CdnListCheck check = ReadCdnResourceList(text, Targets(), &entries);
    ASSERT_EQ(CdnListFault::None, check.fault) << check.line;
    ASSERT_EQ(3u, entries.size());  // blank lines may end the list
    EXPECT_EQ(L"sub/b.bin", entries[1].name);
    EXPECT_EQ(kMd5, entries[1].md5);
    EXPECT_EQ(L"res2", entries[1].remoteFolder);
    EXPECT_EQ(INT64_MAX - 10, entries[1].offset);  // offset + size is exactly the largest
    EXPECT_EQ(10u, entries[1].size);
    EXPECT_EQ(L"", entries[1].category);
    EXPECT_EQ(4294967295u, entries[2].size);
    EXPECT_EQ(L"Launcher", entries[2].category);  // a.txt twice: the launcher's and the game's are two files
}

TEST(CdnListCheck, OneBadLineRefusesTheList) {
    const std::wstring good = Line(L"a.txt");
    const struct { std::wstring text; CdnListFault fault; int line; } cases[] = {
        {L"<!DOCTYPE html>\r\n<html lang=\"en\">\r\n", CdnListFault::Fields, 1},
        {good + L"<html lang=\"en\">\r\n", CdnListFault::Fields, 2},
        {good + L"b.txt=" + std::wstring(kMd5).substr(0, 10), CdnListFault::Fields, 2},  // cut in the middle
        {L"b.txt=" + std::wstring(kMd5) + L"=res1=0=1=launcher=x\r\n", CdnListFault::Fields, 1},
        {L"b.txt=" + std::wstring(kMd5) + L"==0=1\r\n", CdnListFault::Fields, 1},
        {L"b.txt=" + std::wstring(kMd5) + L"=res1=0=1=\r\n", CdnListFault::Fields, 1},
        {L"b.txt=0123456789ABCDEF0123456789ABCDEG=res1=0=1\r\n", CdnListFault::Md5, 1},
        {L"b.txt=0123456789ABCDEF0123456789ABCDE=res1=0=1\r\n", CdnListFault::Md5, 1},
        {Line(L"b.txt", L"-5"), CdnListFault::Number, 1},
        {Line(L"b.txt", L"+5"), CdnListFault::Number, 1},
        {Line(L"b.txt", L"5x"), CdnListFault::Number, 1},
        {Line(L"b.txt", L"9223372036854775808", L"0"), CdnListFault::Number, 1},
        {Line(L"b.txt", L"9223372036854775797", L"11"), CdnListFault::Number, 1},  // offset + size overflows
        {Line(L"b.txt", L"0", L"-1"), CdnListFault::Number, 1},
        {Line(L"b.txt", L"0", L"4294967296"), CdnListFault::Number, 1},
        {good + Line(L"..\\evil.txt"), CdnListFault::Name, 2},
        {Line(L"a.txt.drelpart"), CdnListFault::Name, 1},
        {good + Line(L"A.TXT"), CdnListFault::Duplicate, 2},
        {Line(L"sub\\b.bin") + Line(L"SUB/b.bin"), CdnListFault::Duplicate, 2},
        {good + Line(L"game\\A.txt", L"0", L"10", L"launcher"), CdnListFault::Duplicate, 2},  // the same file
        {Line(L"version.txt", L"0", L"10", L"launcher"), CdnListFault::OwnFile, 1},
        {Line(L"Launcher.TMP", L"0", L"10", L"launcher"), CdnListFault::OwnFile, 1},
        {Line(L"launcher_manifest.txt", L"0", L"10", L"launcher"), CdnListFault::OwnFile, 1},
        // Entries that could never be installed: refused before anything is deleted.
        {good + Line(L"empty.bin", L"0", L"0"), CdnListFault::Uninstallable, 2},
        {Line(std::wstring(247, L'n')), CdnListFault::Uninstallable, 1},  // 256 characters with ".drelpart"
        {Line(std::wstring(256, L'd') + L"\\a"), CdnListFault::Uninstallable, 1},  // a folder name of 256
        {Line(Repeated(std::wstring(250, L'd') + L"\\", 131) + L"f"), CdnListFault::Uninstallable, 1},  // 32,882
        // A reader that stopped at a blank line would withdraw everything after it.
        {L"\r\n" + good, CdnListFault::BlankLine, 1},
        {good + L" \t\r\n" + Line(L"b.txt"), CdnListFault::BlankLine, 2},
    };
    for (const auto& c : cases) {
        std::vector<ResoureConfigInfo> entries(1);
        CdnListCheck check = ReadCdnResourceList(c.text, Targets(), &entries);
        EXPECT_EQ(c.fault, check.fault) << c.text;
        EXPECT_EQ(c.line, check.line) << c.text;
        EXPECT_EQ(1u, entries.size()) << c.text;  // untouched
    }
    // The game's own version.txt lands below game\ and is an ordinary resource.
    std::vector<ResoureConfigInfo> entries;
    EXPECT_EQ(CdnListFault::None, ReadCdnResourceList(Line(L"version.txt"), Targets(), &entries).fault);
    // Deep folders beyond MAX_PATH install; a name of 246 still has room for ".drelpart".
    EXPECT_EQ(CdnListFault::None, ReadCdnResourceList(Line(std::wstring(246, L'n')), Targets(), &entries).fault);
    EXPECT_EQ(CdnListFault::None,
              ReadCdnResourceList(Line(Repeated(std::wstring(99, L'd') + L"\\", 3) + L"a"), Targets(), &entries).fault);
}
