#include <gtest/gtest.h>
#include <windows.h>

#include "launcher/LauncherLog.h"
#include "util/FileUtils.h"
#include "util/InstallPaths.h"

namespace {

bool IsTimestamp(const std::string& s) {
    // "[2024-01-31 23:59:59] "
    if (s.size() != 22) return false;
    const char* pattern = "[dddd-dd-dd dd:dd:dd] ";
    for (size_t i = 0; i < s.size(); ++i) {
        if (pattern[i] == 'd' ? !isdigit(static_cast<unsigned char>(s[i])) : s[i] != pattern[i]) return false;
    }
    return true;
}

}  // namespace

TEST(LauncherLog, PathIsInTheDataFolder) {
    EXPECT_EQ(GetDataFolder() + L"DRELLog.txt", GetLogFilePath());
    EXPECT_TRUE(IsTimestamp(FormatLogTimestamp())) << FormatLogTimestamp();
}

TEST(LauncherLog, AppendsTimestampedLinesInCodePage) {
    DeleteExistingFile(GetLogFilePath());
    WriteLogLine(1121);
    WriteLogLine(std::wstring(L"启动 a\x0E01" L"b 100%d"));
    WriteLogLine(std::string("raw \xFF bytes"));
    WriteLogLine(-7);

    std::string log;
    ASSERT_TRUE(ReadFileBytes(GetLogFilePath(), &log));
    std::vector<std::string> lines;
    for (size_t start = 0; start < log.size();) {
        size_t end = log.find("\r\n", start);
        ASSERT_NE(std::string::npos, end) << "every line ends with CR LF";
        lines.push_back(log.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(4u, lines.size());
    const char* payloads[] = {"1121", "\xC6\xF4\xB6\xAF a?b 100%d", "raw \xFF bytes", "-7"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(IsTimestamp(lines[i].substr(0, 22))) << lines[i];
        EXPECT_EQ(payloads[i], lines[i].substr(22));
    }
    DeleteExistingFile(GetLogFilePath());
}

TEST(LauncherLog, LineLandsAtTheEndWhileAnotherHandleReadsTheFile) {
    DeleteExistingFile(GetLogFilePath());
    WriteLogLine(std::string("first"));
    HANDLE reader = ::CreateFileW(GetLogFilePath().c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    WriteLogLine(std::string("second"));
    ::CloseHandle(reader);
    std::string log;
    ASSERT_TRUE(ReadFileBytes(GetLogFilePath(), &log));
    EXPECT_EQ(2u * 22 + 5 + 6 + 4, log.size());
    EXPECT_EQ("second\r\n", log.substr(log.size() - 8));
    DeleteExistingFile(GetLogFilePath());
}

TEST(LauncherLog, UnwritableLogLosesTheLineQuietly) {
    // Another handle holding the file exclusively makes it unwritable.
    DeleteExistingFile(GetLogFilePath());
    HANDLE exclusive = ::CreateFileW(GetLogFilePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    WriteLogLine(std::string("lost"));  // returns normally
    ::CloseHandle(exclusive);
    std::string log = "x";
    ASSERT_TRUE(ReadFileBytes(GetLogFilePath(), &log));
    EXPECT_TRUE(log.empty());
    DeleteExistingFile(GetLogFilePath());
}
