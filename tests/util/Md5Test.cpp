#include <gtest/gtest.h>

#include "util/DeviceId.h"
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

TEST(Md5, FeedingInPiecesMatchesOneUpdate) {
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31);
    Md5Context context;
    Md5Init(&context);
    for (size_t i = 0; i < data.size(); i += 37) {
        size_t n = std::min<size_t>(37, data.size() - i);
        Md5Update(&context, reinterpret_cast<const unsigned char*>(&data[i]), static_cast<uint32_t>(n));
    }
    unsigned char digest[16];
    Md5Final(&context, digest);
    EXPECT_EQ(Md5OfBytesHex(data), BytesToHexUpper(std::string(reinterpret_cast<char*>(digest), 16)));
    const Md5Context zero = {};
    EXPECT_EQ(0, memcmp(&zero, &context, sizeof(context)));  // cleared after Final
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
