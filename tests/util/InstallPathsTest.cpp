#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "support/TestEnv.h"
#include "util/FileUtils.h"
#include "util/InstallPaths.h"
#include "util/SystemHelpers.h"
#include "util/TextEncoding.h"
#include "util/UiScale.h"

namespace {

std::wstring AppDataFolder() {
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, path);
    return path;
}

std::wstring RecordPath() { return GetDataFolder() + kGameRootRecordName; }

std::string Record() {
    std::string bytes;
    ReadFileBytes(RecordPath(), &bytes);
    return bytes;
}

std::wstring FreestRoot() {
    std::wstring root;
    EXPECT_TRUE(ChooseFreestFixedDrive(&root));
    return root;
}

}  // namespace

TEST(InstallPaths, ModulePathAndFolder) {
    std::wstring path = GetModulePath();
    std::wstring folder = GetModuleFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(L'\\', folder.back());
    EXPECT_EQ(0u, path.find(folder));
    EXPECT_EQ(std::wstring::npos, path.find(L'\\', folder.size()));
}

TEST(InstallPaths, DataFolderIsCreatedUnderAppData) {
    std::wstring folder = GetDataFolder();
    EXPECT_EQ(AppDataFolder() + L"\\DREL_PC\\Talmo\\", folder);
    EXPECT_TRUE(::PathIsDirectoryW(folder.c_str()));
}

TEST(InstallPaths, UnwritableAppDataFallsBackToTheFreestDrive) {
    std::wstring blocked = AppDataFolder() + L"\\DREL_PC";
    RemoveTree(blocked);
    ASSERT_TRUE(WriteFileBytes(blocked, "a file where the folder belongs"));
    std::wstring root = FreestRoot();
    std::wstring expected = root.substr(0, root.size() - 1) + L"\\DREL_PC\\Talmo\\";
    EXPECT_EQ(expected, GetDataFolder());
    ::DeleteFileW(blocked.c_str());
    RemoveTree(expected);
    EXPECT_EQ(AppDataFolder() + L"\\DREL_PC\\Talmo\\", GetDataFolder());
}

TEST(InstallPaths, GameRootIsChosenRememberedAndReplacedWhenGone) {
    DeleteExistingFile(RecordPath());
    std::wstring chosen = GetGameRootFolder();
    EXPECT_EQ(FreestRoot() + L"DREL\\Talmo\\", chosen);
    EXPECT_EQ(TextToAnsi(chosen), Record());  // code-page bytes, nothing else

    // A remembered folder below a drive root is kept as long as it exists.
    std::wstring remembered = FreshTestFolder(L"游戏根") ;
    ASSERT_TRUE(WriteFileBytes(RecordPath(), TextToAnsi(remembered)));
    EXPECT_EQ(remembered, GetGameRootFolder());
    EXPECT_EQ(remembered, GetGameRootFolder());

    // Once it is gone, a new choice is made and written back.
    RemoveTree(remembered);
    EXPECT_EQ(chosen, GetGameRootFolder());
    EXPECT_EQ(TextToAnsi(chosen), Record());
    DeleteExistingFile(RecordPath());
}

TEST(UiScale, Table) {
    const struct { int dpi, width; float scale; } cases[] = {
        {144, 800, 1.5f}, {144, 2560, 1.5f}, {120, 1920, 1.25f}, {96, 1366, 1366 / 1920.0f},
        {96, 1503, 1.0f}, {96, 1920, 1.0f}, {96, 1502, 1502 / 1920.0f}, {96, 2560, 2560 / 1920.0f},
        {96, 0, 1.0f},
    };
    for (const auto& c : cases) EXPECT_FLOAT_EQ(c.scale, ComputeUiScale(c.dpi, c.width)) << c.dpi << " " << c.width;
}

TEST(SystemHelpers, BrowserCommandTable) {
    const struct { const wchar_t* command; const wchar_t* result; } cases[] = {
        {L"\"C:\\b\\browser.exe\" -- \"%1\"", L"\"C:\\b\\browser.exe\" --  http://x/"},
        {L"C:\\b\\browser.exe %1 -new", L"C:\\b\\browser.exe  http://x/"},
        {L"C:\\b\\browser.exe", L"C:\\b\\browser.exe http://x/"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.result, BuildBrowserCommand(c.command, L"http://x/")) << c.command;
}

TEST(SystemHelpers, ClassesRootValueFitsIn260Bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, L"drel.test.value", 0,
                                               nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
    std::wstring shortValue = L"htmlfile";
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(shortValue.c_str()),
                     static_cast<DWORD>((shortValue.size() + 1) * 2));
    wchar_t buffer[520] = {};
    EXPECT_EQ(ERROR_SUCCESS, ReadClassesRootValue(L"drel.test.value", buffer));
    EXPECT_STREQ(L"htmlfile", buffer);

    std::wstring longValue(200, L'x');  // 402 bytes with its terminator
    ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(longValue.c_str()),
                     static_cast<DWORD>((longValue.size() + 1) * 2));
    ::RegCloseKey(key);
    EXPECT_NE(ERROR_SUCCESS, ReadClassesRootValue(L"drel.test.value", buffer));
    EXPECT_NE(ERROR_SUCCESS, ReadClassesRootValue(L"drel.test.missing", buffer));
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, L"drel.test.value");
}
