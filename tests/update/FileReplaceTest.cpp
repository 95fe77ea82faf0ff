#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include "support/TestEnv.h"
#include "update/FileReplace.h"
#include "util/FileUtils.h"

TEST(ReplaceFileBytes, ReplacesTheWholeFileAndLeavesNoTemporary) {
    std::wstring root = FreshTestFolder(L"update-replace");
    std::wstring path = root + L"sub\\version.txt";
    ASSERT_TRUE(ReplaceFileBytes(path, "a long first content\r\n"));
    ASSERT_TRUE(ReplaceFileBytes(path, "b=2\r\n"));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, &bytes));
    EXPECT_EQ("b=2\r\n", bytes);
    EXPECT_FALSE(::PathFileExistsW((path + L".new").c_str()));
}

TEST(ReplaceFileBytes, AFailedReplaceKeepsTheOldContent) {
    std::wstring root = FreshTestFolder(L"update-replace-fail");
    std::wstring path = root + L"version.txt";
    ASSERT_TRUE(ReplaceFileBytes(path, "a=1\r\n"));
    // Another process holds the file without sharing delete: the move must fail.
    HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_FALSE(ReplaceFileBytes(path, "b=2\r\n"));
    ::CloseHandle(held);
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(path, &bytes));
    EXPECT_EQ("a=1\r\n", bytes);
    EXPECT_FALSE(::PathFileExistsW((path + L".new").c_str()));
}
