#include <gtest/gtest.h>
#include <windows.h>

#include "launcher/DownloadSettings.h"
#include "support/TestEnv.h"
#include "util/FileUtils.h"

TEST(DownloadSettings, EveryChoiceIsSavedAndReadBack) {
    std::wstring path = DownloadSettingsPath(FreshTestFolder(L"settings-choices"));
    EXPECT_EQ(0u, LoadSpeedLimitMb(path));  // no file: no limit
    for (uint32_t mb : kSpeedLimitChoices) {
        ASSERT_TRUE(SaveSpeedLimitMb(path, mb));
        EXPECT_EQ(mb, LoadSpeedLimitMb(path));
        std::string bytes;
        ASSERT_TRUE(ReadFileBytes(path, &bytes));
        EXPECT_EQ("speed_limit_mb=" + std::to_string(mb) + "\r\n", bytes);
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((path + L".new").c_str()));  // no temporary file left
    EXPECT_EQ(2u << 20, SpeedLimitBytesPerSecond(2));
}

TEST(DownloadSettings, AFileThatIsNoChoiceMeansNoLimit) {
    std::wstring path = DownloadSettingsPath(FreshTestFolder(L"settings-bad"));
    const struct { const char* bytes; uint32_t mb; } cases[] = {
        {"speed_limit_mb=5", 5},         // without a line end
        {"speed_limit_mb=10\n", 10},
        {"speed_limit_mb=3\r\n", 0},     // not on the menu
        {"speed_limit_mb=-1\r\n", 0},
        {"speed_limit_mb=2x\r\n", 0},
        {"speed_limit_mb=\r\n", 0},
        {"limit=2\r\n", 0},
        {"", 0},
        {"\xEF\xBB\xBFspeed_limit_mb=2\r\n", 0},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        EXPECT_EQ(c.mb, LoadSpeedLimitMb(path)) << c.bytes;
    }
}
