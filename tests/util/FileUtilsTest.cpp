#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include "BuildConfig.h"
#include "support/TestEnv.h"
#include "util/FileUtils.h"

TEST(FileUtils, GetParentFolderTable) {
    const struct { const wchar_t* path; bool found; const wchar_t* parent; } cases[] = {
        {L"C:\\a\\b.txt", true, L"C:\\a"},
        {L"C:\\b.txt", true, L"C:"},
        {L"C:\\a\\", true, L"C:\\a"},
        {L"b.txt", false, L"untouched"},
    };
    for (const auto& c : cases) {
        std::wstring out = L"untouched";
        EXPECT_EQ(c.found, GetParentFolder(c.path, &out)) << c.path;
        EXPECT_EQ(c.parent, out) << c.path;
    }
}

TEST(FileUtils, CreateFolderPathMakesEveryLevel) {
    std::wstring root = FreshTestFolder(L"fileutils-folders");
    CreateFolderPath(root + L"a\\b\\c");
    EXPECT_TRUE(::PathIsDirectoryW((root + L"a\\b\\c").c_str()));
    CreateFolderPath(root + L"a\\b\\c\\");  // existing levels are fine
    EXPECT_TRUE(::PathIsDirectoryW((root + L"a\\b\\c").c_str()));
}

TEST(FileUtils, ByteOrderMarkIsDroppedOnlyWhenComplete) {
    std::wstring root = FreshTestFolder(L"fileutils-bom");
    const struct { std::string bytes; std::wstring text; } cases[] = {
        {"\xEF\xBB\xBF" "abc", L"abc"},
        {"\xEF\xBB\xBF", L""},
        {"\xEF\xBB", L"\xFFFD"},  // two bytes: read whole (a broken sequence)
        {"\xEF" "ab", L"\xFFFD" L"ab"},
        {"\xE4\xB8\xAD", L"中"},
        {"", L""},
    };
    int i = 0;
    for (const auto& c : cases) {
        std::wstring path = root + L"f" + std::to_wstring(i++) + L".txt";
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        std::wstring text = L"x";
        EXPECT_TRUE(ReadUtf8TextFile(path, &text));
        EXPECT_EQ(c.text, text) << i;  // malformed UTF-8 reads as U+FFFD
    }
}

TEST(FileUtils, WritesAndReadsBackTextAndBytes) {
    std::wstring root = FreshTestFolder(L"fileutils-rw");
    std::wstring textPath = root + L"new\\folder\\中文.txt";  // folders are created
    ASSERT_TRUE(WriteUtf8TextFile(textPath, L"版本 1\r\n"));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(textPath, &bytes));
    EXPECT_EQ("\xE7\x89\x88\xE6\x9C\xAC 1\r\n", bytes);  // UTF-8, no byte-order mark

    std::string binary("a\0b\xFF", 4);
    ASSERT_TRUE(WriteFileBytes(root + L"bin.dat", binary));
    ASSERT_TRUE(WriteFileBytes(root + L"bin.dat", binary.substr(0, 2)));  // truncates
    bytes.clear();
    ASSERT_TRUE(ReadFileBytes(root + L"bin.dat", &bytes));
    EXPECT_EQ(binary.substr(0, 2), bytes);

    ASSERT_TRUE(WriteUtf8TextFile(root + L"empty.txt", L""));
    bytes = "x";
    bytes.clear();
    EXPECT_TRUE(ReadFileBytes(root + L"empty.txt", &bytes));
    EXPECT_TRUE(bytes.empty());

    EXPECT_FALSE(ReadFileBytes(root + L"missing.txt", &bytes));
    std::wstring text;
    EXPECT_FALSE(ReadUtf8TextFile(L"", &text));
    EXPECT_FALSE(WriteFileBytes(L"", "x"));
}

TEST(FileUtils, DeleteExistingFile) {
    std::wstring root = FreshTestFolder(L"fileutils-delete");
    ASSERT_TRUE(WriteFileBytes(root + L"a.txt", "a"));
    EXPECT_TRUE(DeleteExistingFile(root + L"a.txt"));
    EXPECT_FALSE(::PathFileExistsW((root + L"a.txt").c_str()));
    EXPECT_FALSE(DeleteExistingFile(root + L"a.txt"));
}

TEST(FileUtils, WritabilityProbeCreatesFolderAndLeavesNoProbe) {
    std::wstring root = FreshTestFolder(L"fileutils-probe");
    std::wstring folder = root + L"x\\y\\";
    EXPECT_TRUE(IsFolderWritable(folder));
    EXPECT_TRUE(::PathIsDirectoryW(folder.c_str()));
    EXPECT_FALSE(::PathFileExistsW((folder + L"launcher_test.txt").c_str()));
    // A file where the folder should be: not writable.
    ASSERT_TRUE(WriteFileBytes(root + L"blocked", "file"));
    EXPECT_FALSE(IsFolderWritable(root + L"blocked\\"));
}

TEST(FileUtils, ReadsTheLaunchersOwnVersion) {
    int32_t version[4] = {0, 0, 0, 0};
    ASSERT_TRUE(GetFileVersion(TestBinFolder() + L"talmodrel.exe", version));
    char text[64];
    snprintf(text, sizeof(text), "%d.%d.%d.%d", version[0], version[1], version[2], version[3]);
    EXPECT_STREQ(LAUNCHER_VERSION_TEXT, text);  // the FILEVERSION the build set

    std::wstring root = FreshTestFolder(L"fileutils-version");
    ASSERT_TRUE(WriteFileBytes(root + L"plain.txt", "no version here"));
    int32_t none[4] = {0, 0, 0, 0};
    EXPECT_TRUE(GetFileVersion(root + L"plain.txt", none));
    EXPECT_EQ(0, none[0] | none[1] | none[2] | none[3]);
    EXPECT_FALSE(GetFileVersion(root + L"missing.exe", none));
}

TEST(FileUtils, FreestFixedDriveIsWritableFixedRoot) {
    std::vector<std::wstring> drives;
    ASSERT_TRUE(ListFixedDrives(&drives));
    ASSERT_FALSE(drives.empty());
    for (const auto& d : drives) EXPECT_NE(L"Z:\\", d);  // the host's root is not reachable
    std::wstring best;
    ASSERT_TRUE(ChooseFreestFixedDrive(&best));
    EXPECT_NE(drives.end(), std::find(drives.begin(), drives.end(), best));
    EXPECT_FALSE(::PathFileExistsW((best + L"launcher_test.txt").c_str()));
}

TEST(FileUtils, LongPathFormOnlyForLongDrivePaths) {
    const std::wstring deep = L"C:\\game\\" + std::wstring(kLongPathFrom, L'd') + L"\\a.bin";
    const struct { std::wstring path; std::wstring form; } cases[] = {
        {L"C:\\game\\a.bin", L"C:\\game\\a.bin"},
        {deep, L"\\\\?\\" + deep},
        {L"\\\\server\\share\\" + std::wstring(kLongPathFrom, L'd'), L"\\\\server\\share\\" + std::wstring(kLongPathFrom, L'd')},
        {std::wstring(kLongPathFrom, L'r'), std::wstring(kLongPathFrom, L'r')},  // relative
    };
    for (const auto& c : cases) EXPECT_EQ(c.form, LongPathForm(c.path));
    // Folders and files that deep are made and read in that form.
    std::wstring root = FreshTestFolder(L"fileutils-deep");
    std::wstring path = LongPathForm(root + std::wstring(150, L'x') + L"\\" + std::wstring(150, L'y') + L"\\f.bin");
    ASSERT_TRUE(WriteFileBytes(path, "deep"));
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(path, &bytes));
    EXPECT_EQ("deep", bytes);
}
