// The one listing of the game root: what is installed, and the leftovers of a
// killed download, removed when told and never through a folder link.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/TestEnv.h"
#include "update/InstalledFiles.h"
#include "update/UpdateTestSupport.h"
#include "util/FileUtils.h"

TEST(InstalledFiles, ListsGameFilesAndRemovesLeftoversButNeverThroughALink) {
    std::wstring root = FreshTestFolder(L"installed-files");
    std::wstring outside = FreshTestFolder(L"installed-files-outside");
    ASSERT_TRUE(WriteFileBytes(root + L"game\\a.txt", "a"));
    ASSERT_TRUE(WriteFileBytes(root + L"game\\sub\\B.bin", "bb"));
    ASSERT_TRUE(WriteFileBytes(root + L"game\\sub\\c.bin.drelpart", "half"));
    ASSERT_TRUE(WriteFileBytes(root + L"game\\d.bin.drelpart", "chunks kept for a rebuild"));
    ASSERT_TRUE(WriteFileBytes(root + L"version.txt", "a.txt=00\r\n"));  // beside game\, not a resource
    ASSERT_TRUE(WriteFileBytes(outside + L"o.bin", "o"));
    ASSERT_TRUE(WriteFileBytes(outside + L"not-ours.drelpart", "somebody else's"));
    // A folder of the game that links elsewhere (a player moved it to another drive).
    ASSERT_TRUE(::CreateSymbolicLinkW((root + L"game\\linked").c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
        << ::GetLastError();
    ASSERT_NE(0u, ::GetFileAttributesW((root + L"game\\linked").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);

    InstalledFiles files;
    files.Scan(root, L"game\\");
    EXPECT_TRUE(files.Contains(L"a.txt"));
    EXPECT_TRUE(files.Contains(L"SUB/b.BIN"));  // as Windows compares names
    EXPECT_EQ(2u, files.SizeOf(L"sub\\b.bin"));
    EXPECT_FALSE(files.Contains(L"version.txt"));
    EXPECT_FALSE(files.Contains(L"sub\\c.bin.drelpart"));
    EXPECT_TRUE(FileExists(root + L"game\\sub\\c.bin.drelpart"));  // gone only when told
    EXPECT_EQ(1u, files.RemoveTemporaries({InstalledFiles::TemporaryPathKey(L"\\\\?\\" + root + L"GAME\\D.bin.drelpart")}));
    EXPECT_FALSE(FileExists(root + L"game\\sub\\c.bin.drelpart"));
    EXPECT_TRUE(FileExists(root + L"game\\d.bin.drelpart"));
    // Never deleted through the link. (Wine does not list a folder link at all;
    // Windows lists it with FILE_ATTRIBUTE_REPARSE_POINT, and the scan then
    // collects what is behind it but deletes nothing there.)
    EXPECT_TRUE(FileExists(outside + L"not-ours.drelpart"));
    ::RemoveDirectoryW((root + L"game\\linked").c_str());
}
