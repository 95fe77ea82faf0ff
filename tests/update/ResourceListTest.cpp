#include <gtest/gtest.h>

#include "update/ResourceCompare.h"
#include "update/ResourceList.h"

namespace {

std::vector<ResoureConfigInfo> Parse(const std::wstring& text) {
    std::vector<ResoureConfigInfo> out;
    ParseResourceList(text, &out);
    return out;
}

ResoureConfigInfo Entry(const wchar_t* name, const wchar_t* md5) {
    ResoureConfigInfo e;
    e.name = name;
    e.md5 = md5;
    return e;
}

}  // namespace

TEST(ParseResourceList, LineTable) {
    const struct {
        const wchar_t* line;
        const wchar_t* name; const wchar_t* md5; const wchar_t* folder;
        int64_t offset; uint32_t size; const wchar_t* category;
    } cases[] = {
        {L"res\\ui\\a.png=0A1B", L"res\\ui\\a.png", L"0A1B", L"", 0, 0, L""},
        {L"  b.dat = 9F = pk1 = 100 = 20 = Launcher  ", L"b.dat", L"9F", L"pk1", 100, 20, L"Launcher"},
        {L"c.dat==E1", L"c.dat", L"E1", L"", 0, 0, L""},
        {L"=c.dat=E1", L"c.dat", L"E1", L"", 0, 0, L""},
        {L"d.dat=E1= =pk2=5=6", L"d.dat", L"E1", L"", 0, 0, L""},        // a blank field ends the line
        {L"e=1=f=0=4294967296", L"e", L"1", L"f", 0, 2147483647u, L""},  // saturates
        {L"e=1=f=0=x1", L"e", L"1", L"f", 0, 0, L""},
        {L"e=1=f=0=-1", L"e", L"1", L"f", 0, 4294967295u, L""},          // parsed signed, used unsigned
        {L"e=1=f=12345678901234=7", L"e", L"1", L"f", 12345678901234LL, 7, L""},
        {L"e=1=f=99999999999999999999=7", L"e", L"1", L"f", INT64_MAX, 7, L""},
        {L"g=1=f=2=3=launcher=extra=more", L"g", L"1", L"f", 2, 3, L"launcher"},
        {L"中文\\名字.txt=AB", L"中文\\名字.txt", L"AB", L"", 0, 0, L""},
    };
    for (const auto& c : cases) {
        auto entries = Parse(c.line);
        ASSERT_EQ(1u, entries.size()) << c.line;
        const ResoureConfigInfo& e = entries[0];
        EXPECT_EQ(c.name, e.name) << c.line;
        EXPECT_EQ(c.md5, e.md5) << c.line;
        EXPECT_EQ(c.folder, e.remoteFolder) << c.line;
        EXPECT_EQ(c.offset, e.offset) << c.line;
        EXPECT_EQ(c.size, e.size) << c.line;
        EXPECT_EQ(c.category, e.category) << c.line;
    }
    for (const wchar_t* skipped : {L"c.dat=", L"c.dat", L"=", L"==x"}) {
        EXPECT_TRUE(Parse(skipped).empty()) << skipped;
    }
}

TEST(ParseResourceList, LinesAndTheBlankLineThatEndsTheList) {
    EXPECT_EQ(2u, Parse(L"a=1\r\n\r\nb=2").size());
    EXPECT_EQ(2u, Parse(L"a=1\nb=2\r").size());
    auto cut = Parse(L"a=1\r\n   \r\nb=2");
    ASSERT_EQ(1u, cut.size());
    EXPECT_EQ(L"a", cut[0].name);
    EXPECT_TRUE(Parse(L"").empty());
    // The output is appended to, never emptied.
    std::vector<ResoureConfigInfo> out{Entry(L"x", L"0")};
    ParseResourceList(L"y=1", &out);
    ASSERT_EQ(2u, out.size());
    EXPECT_EQ(L"y", out[1].name);
}

TEST(FormatResourceList, MapOrderIsOrdinalAndOnlyTwoColumns) {
    ResourceInfoMap map;
    ResoureConfigInfo b = Entry(L"b.txt", L"2");
    b.remoteFolder = L"pk";
    b.offset = 5;
    b.size = 6;
    b.category = L"launcher";
    for (const auto& e : {b, Entry(L"B.txt", L"1"), Entry(L"a.txt", L"3"), Entry(L"ab", L"4"), Entry(L"a", L"5")}) {
        InsertResourceEntry(&map, e, L"");
    }
    std::wstring text = L"kept";
    ASSERT_TRUE(FormatResourceList(map, &text));
    EXPECT_EQ(L"keptB.txt=1\r\na=5\r\na.txt=3\r\nab=4\r\nb.txt=2\r\n", text);

    std::wstring empty = L"kept";
    EXPECT_FALSE(FormatResourceList(ResourceInfoMap(), &empty));
    EXPECT_FALSE(FormatResourceList(std::vector<ResoureConfigInfo>(), &empty));
    EXPECT_EQ(L"kept", empty);
}

TEST(InsertResourceEntry, FirstOfADuplicateNameStaysAndIsTraced) {
    ResourceInfoMap map;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(InsertResourceEntry(&map, Entry(L"e.dat", L"1"), L"CDNResourceInfo插入失败\t"));
    EXPECT_FALSE(InsertResourceEntry(&map, Entry(L"e.dat", L"2"), L"CDNResourceInfo插入失败\t"));
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_EQ(L"1", map[L"e.dat"].md5);
    // The trace is written in the ANSI code page (936): "插入失败" in GBK.
    EXPECT_EQ("CDNResourceInfo\xB2\xE5\xC8\xEB\xCA\xA7\xB0\xDC\te.dat\r\n", trace);
}

TEST(IsLauncherCategory, IgnoresCaseOnly) {
    EXPECT_TRUE(IsLauncherCategory(L"launcher"));
    EXPECT_TRUE(IsLauncherCategory(L"LAUNCHER"));
    EXPECT_FALSE(IsLauncherCategory(L"launchers"));
    EXPECT_FALSE(IsLauncherCategory(L""));
}

TEST(CompareLists, AddedModifiedRemovedInNameOrder) {
    ResourceInfoMap local, cdn;
    for (const auto& e : {Entry(L"a", L"1"), Entry(L"c", L"3"), Entry(L"d", L"ab")}) InsertResourceEntry(&local, e, L"");
    ResoureConfigInfo b = Entry(L"b", L"2");
    b.remoteFolder = L"p1";
    b.offset = 40;
    b.size = 9;
    for (const auto& e : {Entry(L"a", L"2"), b, Entry(L"d", L"AB")}) InsertResourceEntry(&cdn, e, L"");
    std::vector<ResourceUpdateItem> downloads, deletes;
    CompareLists(&local, cdn, &downloads, &deletes, nullptr);
    ASSERT_EQ(3u, downloads.size());
    EXPECT_EQ(L"a", downloads[0].name);
    EXPECT_EQ(ResourceChangeKind::Modified, downloads[0].change);
    EXPECT_EQ(L"1", downloads[0].localMd5);
    EXPECT_EQ(L"2", downloads[0].cdnMd5);
    EXPECT_EQ(L"b", downloads[1].name);
    EXPECT_EQ(ResourceChangeKind::Added, downloads[1].change);
    EXPECT_EQ(L"", downloads[1].localMd5);
    EXPECT_EQ(L"p1", downloads[1].remoteFolder);
    EXPECT_EQ(40, downloads[1].offset);
    EXPECT_EQ(9u, downloads[1].size);
    EXPECT_EQ(L"d", downloads[2].name);  // md5 texts compare with case
    ASSERT_EQ(1u, deletes.size());
    EXPECT_EQ(L"c", deletes[0].name);
    EXPECT_EQ(ResourceChangeKind::Removed, deletes[0].change);
    EXPECT_EQ(L"3", deletes[0].cdnMd5);
}

TEST(CompareLists, AMissingLocalFileIsDownloadedAgain) {
    ResourceInfoMap local, cdn;
    InsertResourceEntry(&local, Entry(L"gone", L"1"), L"");
    InsertResourceEntry(&local, Entry(L"here", L"1"), L"");
    InsertResourceEntry(&cdn, Entry(L"gone", L"1"), L"");
    InsertResourceEntry(&cdn, Entry(L"here", L"1"), L"");
    std::vector<ResourceUpdateItem> downloads, deletes;
    CompareLists(&local, cdn, &downloads, &deletes, [](const std::wstring& name) { return name == L"here"; });
    ASSERT_EQ(1u, downloads.size());
    EXPECT_EQ(L"gone", downloads[0].name);
    EXPECT_EQ(ResourceChangeKind::Modified, downloads[0].change);
    EXPECT_EQ(L"", local[L"gone"].md5);
    EXPECT_TRUE(deletes.empty());
}
