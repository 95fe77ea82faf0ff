#include <gtest/gtest.h>

#include "afx/File.h"
#include "support/TestEnv.h"
#include "update/CDNResourceDataProcessor.h"
#include "update/LauncherStaging.h"
#include "update/UpdateTestSupport.h"
#include "util/FileUtils.h"

namespace {

std::string Le32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

ResourceInfoMap OneEntry(const wchar_t* name, const wchar_t* md5) {
    ResourceInfoMap map;
    ResoureConfigInfo entry;
    entry.name = name;
    entry.md5 = md5;
    map[entry.name] = entry;
    return map;
}

}  // namespace

TEST(LauncherStaging, OneFileAndTheManifestByteForByte) {
    std::wstring root = FreshTestFolder(L"update-staging");
    std::wstring path = StagingFilePath(root);
    EXPECT_EQ(root + L"launcher.tmp", path);
    WriteFileBytes(path, "stale content of an earlier batch");

    DeleteStagingFile(path);
    SetStagingFlag(path, 0);
    EXPECT_EQ(std::string(1, '\0'), FileBytes(path));

    // The processor has just decompressed a.dll under the launcher root.
    DownloadTaskInfo task(L"http://x/tq_game.tqpkg", L"a.dll", 3, L"", 0, 23);
    CDNResourceDataProcessor processor(task);
    processor.rootFolder = root;
    WriteFileBytes(root + L"a.dll", "\x01\x02\x03");
    StageLauncherFile(path, DownloadTaskResultInfo(task, 200), &processor);
    EXPECT_EQ("\x01\x02\x03", FileBytes(root + L"a.dll"));  // the downloaded copy stays

    StoreLauncherManifest(path, OneEntry(L"a.dll", L"9E"));

    std::string expected = std::string(1, '\x01') + Le32(5) + "a.dll" + Le32(3) + "\x01\x02\x03" +
                           Le32(21) + "launcher_manifest.txt" + Le32(10) + "a.dll=9E\r\n";
    EXPECT_EQ(expected, FileBytes(path));
}

TEST(LauncherStaging, NamesInCodePage936AndUnreadableFiles) {
    std::wstring root = FreshTestFolder(L"update-staging-names");
    std::wstring path = StagingFilePath(root);
    SetStagingFlag(path, 0);
    DownloadTaskInfo task(L"http://x/tq_game.tqpkg", L"插件\\b.dll", 3, L"", 0, 1);
    CDNResourceDataProcessor processor(task);
    processor.rootFolder = root;  // no target file: staged with an empty content
    StageLauncherFile(path, DownloadTaskResultInfo(task, 200), &processor);

    StoreLauncherManifest(path, OneEntry(L"插件\\b.dll", L"1F"));
    std::string gbkName = "\xB2\xE5\xBC\xFE\\b.dll";
    std::string utf8Line = "\xE6\x8F\x92\xE4\xBB\xB6\\b.dll=1F\r\n";
    std::string expected = std::string(1, '\x01') + Le32(10) + gbkName + Le32(0) +
                           Le32(21) + "launcher_manifest.txt" + Le32(static_cast<uint32_t>(utf8Line.size())) + utf8Line;
    EXPECT_EQ(expected, FileBytes(path));

    // A name the entrance program's code page cannot carry fails the staging;
    // nothing is written for it (no "?" in its place).
    DownloadTaskInfo thai(L"http://x/tq_game.tqpkg", L"\x0E01.dll", 3, L"", 0, 1);
    CDNResourceDataProcessor other(thai);
    other.rootFolder = root;
    EXPECT_FALSE(StageLauncherFile(path, DownloadTaskResultInfo(thai, 200), &other));
    EXPECT_EQ(expected, FileBytes(path));
}

TEST(LauncherStaging, AnEmptyManifestLeavesTheFileIncomplete) {
    std::wstring root = FreshTestFolder(L"update-staging-empty");
    std::wstring path = StagingFilePath(root);
    SetStagingFlag(path, 0);
    StoreLauncherManifest(path, ResourceInfoMap());
    EXPECT_EQ(std::string(1, '\0'), FileBytes(path));
    DeleteStagingFile(path);
    std::string bytes;
    EXPECT_FALSE(ReadFileBytes(path, &bytes));
}

TEST(LauncherStaging, AFailedWriteFailsTheStagingAndNeverMarksItComplete) {
    std::wstring root = FreshTestFolder(L"update-staging-locked");
    std::wstring path = StagingFilePath(root);
    ASSERT_TRUE(SetStagingFlag(path, 0));
    DownloadTaskInfo task(L"http://x/tq_game.tqpkg", L"a.dll", 3, L"", 0, 3);
    CDNResourceDataProcessor processor(task);
    processor.rootFolder = root;
    WriteFileBytes(root + L"a.dll", "\x01\x02\x03");
    {
        CFile holder;  // another program holds the file without sharing it
        ASSERT_TRUE(holder.Open(path, CFile::modeWrite));
        EXPECT_FALSE(StageLauncherFile(path, DownloadTaskResultInfo(task, 200), &processor));
        EXPECT_FALSE(StoreLauncherManifest(path, OneEntry(L"a.dll", L"9E")));
    }
    EXPECT_EQ(std::string(1, '\0'), FileBytes(path));
}
