#include <gtest/gtest.h>

#include "launcher/ProgressFormat.h"

TEST(ProgressFormat, SizeTable) {
    const struct { uint64_t bytes; const wchar_t* text; } cases[] = {
        {0, L"1 KB"}, {1023, L"1 KB"}, {1024, L"2KB"}, {1536, L"2KB"}, {1048575, L"1024KB"},
        {1048576, L"1.00MB"}, {1073741823, L"1024.00MB"}, {1073741824, L"1.00G"},
        {5368709120ULL, L"5.00G"}, {1572864, L"1.50MB"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, FormatSize(c.bytes)) << c.bytes;
    EXPECT_EQ(L"1 KB", FormatSizeSigned(-1));
    EXPECT_EQ(L"3.00MB", FormatSizeSigned(3145728));
}

TEST(ProgressFormat, DurationTable) {
    const struct { int32_t seconds; const wchar_t* text; } cases[] = {
        {59, L"59秒"}, {60, L"1分0秒"}, {3599, L"59分59秒"}, {3600, L"1.00小时"},
        {5400, L"1.50小时"}, {-5, L"-5秒"}, {0, L"0秒"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.text, FormatDuration(c.seconds)) << c.seconds;
}
