#include <gtest/gtest.h>

#include "support/TestEnv.h"
#include "util/DeviceId.h"
#include "util/FileUtils.h"
#include "util/Md5.h"
#include "util/TextEncoding.h"

TEST(Md5, Rfc1321TestSuite) {
    const struct { const char* in; const char* digest; } cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.digest, Md5OfBytesHex(c.in)) << c.in;
}

TEST(Md5, FeedingInPiecesMatchesOneUpdateAndStartsOverAfterwards) {
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31);
    Md5Hasher hasher;
    for (size_t i = 0; i < data.size(); i += 37) {
        ASSERT_TRUE(hasher.Update(&data[i], std::min<size_t>(37, data.size() - i)));
    }
    std::string hex;
    ASSERT_TRUE(hasher.FinishHex(&hex));
    EXPECT_EQ(Md5OfBytesHex(data), hex);
    ASSERT_TRUE(hasher.FinishHex(&hex));  // nothing fed since: the empty input's digest
    EXPECT_EQ("D41D8CD98F00B204E9800998ECF8427E", hex);
}

TEST(Md5, AFileIsReadWholeUnlessTheCallbackStopsIt) {
    std::wstring path = FreshTestFolder(L"md5-file") + L"a.bin";
    std::string bytes(3 * 1024 * 1024 + 5, 'a');
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    std::string md5;
    uint64_t read = 0;
    ASSERT_TRUE(Md5OfFileHex(path, &md5, [&read](uint64_t n) {
        read += n;
        return true;
    }));
    EXPECT_EQ(Md5OfBytesHex(bytes), md5);
    EXPECT_EQ(bytes.size(), read);
    int pieces = 0;
    EXPECT_FALSE(Md5OfFileHex(path, &md5, [&pieces](uint64_t) { return ++pieces < 2; }));
    EXPECT_EQ(2, pieces);  // no piece read after the stop
}

TEST(Md5, DigestsCompareWithoutCase) {
    EXPECT_TRUE(SameMd5Hex("0CC175B9C0F1B6A831C399E269772661", L"0cc175b9c0f1b6a831c399e269772661"));
    EXPECT_FALSE(SameMd5Hex("0CC175B9C0F1B6A831C399E269772661", L"0CC175B9C0F1B6A831C399E26977266"));
    EXPECT_FALSE(SameMd5Hex("0CC175B9C0F1B6A831C399E269772661", L"1CC175B9C0F1B6A831C399E269772661"));
}

TEST(Md5OfText, HashesTheCodePageBytes) {
    EXPECT_EQ(L"D41D8CD98F00B204E9800998ECF8427E", Md5OfText(L""));
    // "中文" is hashed as its code-page-936 bytes D6 D0 CE C4.
    EXPECT_EQ(AnsiToText(Md5OfBytesHex("\xD6\xD0\xCE\xC4")), Md5OfText(L"中文"));
}

TEST(DeviceId, AdapterAddressesAreConcatenatedInOrder) {
    EXPECT_EQ(L"001A2B3C4D5E", ConcatAdapterAddresses({{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}}));
    EXPECT_EQ(L"", ConcatAdapterAddresses({{}, {}}));
    EXPECT_EQ(L"0102FF", ConcatAdapterAddresses({{0x01}, {}, {0x02, 0xFF}}));
}

TEST(DeviceId, IsStableAndWellFormed) {
    std::wstring first, second;
    GetDeviceId(&first);
    GetDeviceId(&second);
    EXPECT_EQ(first, second);
    ASSERT_EQ(32u, first.size());
    EXPECT_EQ(std::wstring::npos, first.find_first_not_of(L"0123456789ABCDEF"));
}
