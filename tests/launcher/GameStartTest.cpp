#include <gtest/gtest.h>
#include <windows.h>

#include "launcher/GameStart.h"
#include "launcher/LauncherLog.h"
#include "support/TestEnv.h"
#include "util/FileUtils.h"
#include "util/TextEncoding.h"

namespace {

// What a stub program recorded: its command line and its working folder.
std::vector<std::string> WaitForRecord(const std::wstring& path) {
    std::string bytes;
    for (int i = 0; i < 400 && !ReadFileBytes(path, &bytes); ++i) ::Sleep(25);
    std::vector<std::string> lines;
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

TEST(GameStart, ArgumentLineWithEmptyLoginData) {
    LoginDataMap login;
    std::wstring loginData = BuildLoginData(login);
    EXPECT_EQ(L"YXV0aF9rZXk9LHVpZD0sZXh0cmFJbmZvPQ==", loginData);  // auth_key=,uid=,extraInfo=
    EXPECT_EQ(3u, login.size());
    EXPECT_EQ(L"ENTRANCE=C:/L/talmodrel.exe DEVICE_ID=D RESOURCE_HASH=H LOGIN_DATA=" + loginData,
              BuildGameArguments(L"C:\\L\\talmodrel.exe", L"D", L"H", loginData));
    EXPECT_EQ(L"ENTRANCE=C:/L/t.exe DEVICE_ID=D RESOURCE_HASH= LOGIN_DATA=x",
              BuildGameArguments(L"C:\\L\\t.exe", L"D", L"", L"x"));
}

TEST(GameStart, StartsTheGameInItsFolderAndLogsThreeLines) {
    // A root with a blank, and a program where the unquoted path would first lead.
    std::wstring base = FreshTestFolder(L"gamestart");
    std::wstring root = base + L"My Games\\";
    CreateFolderPath(root + L"game");
    ASSERT_TRUE(::CopyFileW((TestBinFolder() + L"drel_game.exe").c_str(), (root + L"game\\drel_game.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((TestBinFolder() + L"drel_entrance.exe").c_str(), (base + L"My.exe").c_str(), FALSE));
    DeleteExistingFile(GetLogFilePath());

    DWORD error = 0;
    std::wstring args = L"ENTRANCE=C:/L/t.exe DEVICE_ID=D RESOURCE_HASH= LOGIN_DATA=x";
    ASSERT_TRUE(OpenGameProcess(root, args, &error));
    // Each stub records beside itself.
    auto record = WaitForRecord(root + L"game\\stub_game_record.txt");
    ASSERT_EQ(2u, record.size());
    EXPECT_EQ(TextToUtf8String(root + L"game\\drel_game.exe " + args), record[0]);  // unquoted path
    EXPECT_EQ(TextToUtf8String(root + L"game"), record[1]);
    std::string decoy;
    EXPECT_FALSE(ReadFileBytes(base + L"stub_entrance_record.txt", &decoy));

    std::string log;
    ASSERT_TRUE(ReadFileBytes(GetLogFilePath(), &log));
    EXPECT_EQ(3, std::count(log.begin(), log.end(), '\n'));
    EXPECT_NE(std::string::npos, log.find("] 1121\r\n"));
    EXPECT_NE(std::string::npos, log.find("] CMainForegroundDialog::OpenGame\r\n"));
    EXPECT_NE(std::string::npos, log.find("] " + TextToAnsi(args) + "\r\n"));
}

TEST(GameStart, MissingGameReportsTheOpenError) {
    std::wstring root = FreshTestFolder(L"gamestart-missing");
    DWORD error = 0;
    EXPECT_FALSE(OpenGameProcess(root, L"x", &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), error);  // no game folder
    CreateFolderPath(root + L"game");
    EXPECT_FALSE(OpenGameProcess(root, L"x", &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}

TEST(GameStart, EntranceTable) {
    const struct { const wchar_t* value; bool ok; const wchar_t* exe; const wchar_t* folder; } cases[] = {
        {L"C:/Game/entrance.exe", true, L"C:\\Game\\entrance.exe", L"C:\\Game"},
        {L"C:\\Game\\entrance.exe", true, L"C:\\Game\\entrance.exe", L"C:\\Game"},
        {L"entrance.exe", false, L"", L""},
        {L"", false, L"", L""},
    };
    for (const auto& c : cases) {
        std::wstring exe, folder;
        EXPECT_EQ(c.ok, ResolveEntrance(c.value, &exe, &folder)) << c.value;
        EXPECT_EQ(c.exe, exe) << c.value;
        EXPECT_EQ(c.folder, folder) << c.value;
    }
}
