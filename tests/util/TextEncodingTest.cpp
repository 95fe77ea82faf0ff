#include <gtest/gtest.h>
#include <windows.h>

#include "util/TextEncoding.h"

TEST(TextEncoding, RunsWithCodePage936) {
    // Every conversion test below assumes the players' code page.
    EXPECT_EQ(936u, ::GetACP());
}

TEST(Base64, Rfc4648Vectors) {
    const struct { const char* in; const char* out; } cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, Base64EncodeBytes(c.in)) << c.in;
}

TEST(Base64, LongInputHasNoLineBreaksAndAllBytes) {
    std::string bytes;
    for (int i = 0; i < 58; ++i) bytes.push_back(static_cast<char>(i * 7 + 200));
    std::string out = Base64EncodeBytes(bytes);
    EXPECT_EQ(80u, out.size());
    EXPECT_EQ(std::string::npos, out.find_first_of("\r\n"));
    EXPECT_EQ(Base64EncodedLength(57), static_cast<int>(Base64EncodeBytes(bytes.substr(0, 57)).size()));
}

TEST(Base64, RefusesMissingArgumentsAndSmallBuffers) {
    const unsigned char data[] = {1, 2, 3, 4};
    char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    int length = 7;  // needs 8
    EXPECT_FALSE(Base64Encode(data, 4, out, &length));
    EXPECT_EQ(7, length);
    EXPECT_EQ('x', out[0]);
    EXPECT_FALSE(Base64Encode(nullptr, 4, out, &length));
    EXPECT_FALSE(Base64Encode(data, 4, nullptr, &length));
    EXPECT_FALSE(Base64Encode(data, 4, out, nullptr));
    length = 8;
    EXPECT_TRUE(Base64Encode(data, 0, out, &length));
    EXPECT_EQ(0, length);
    EXPECT_EQ(-1, Base64EncodedLength(1 << 29));
    EXPECT_EQ(4 * 178956970, Base64EncodedLength((1 << 29) - 1 - 1));
}

TEST(IsUtf8Text, Table) {
    const struct { std::string bytes; bool utf8; } cases[] = {
        {"plain ascii", false},
        {"", false},
        {"\xC3\xA9", true},
        {"caf\xC3\xA9", true},
        {"\xE4\xB8\xAD\xE6\x96\x87", true},
        {"\xE4\xB8", false},          // ends inside a sequence
        {"\x80", false},              // lone continuation byte
        {"\xC3\x41", false},          // lead byte without continuation
        {"\xD6\xD0\xCE\xC4", false},  // GBK bytes of the same text
        {"\xF0\x9F\x98\x80", true},
    };
    for (const auto& c : cases) EXPECT_EQ(c.utf8, IsUtf8Text(c.bytes)) << c.bytes;
}

TEST(Conversions, Utf8RoundTripsThroughCodePage936) {
    std::wstring text;
    ASSERT_TRUE(Utf8ToText("\xE4\xB8\xAD\xE6\x96\x87 ok", &text));
    EXPECT_EQ(L"中文 ok", text);
    EXPECT_EQ("\xD6\xD0\xCE\xC4", TextToAnsi(L"中文"));
    EXPECT_EQ(L"中文", AnsiToText("\xD6\xD0\xCE\xC4"));
}

TEST(Conversions, Utf8IsReadLosslesslyWhateverTheCodePage) {
    std::wstring text;
    // U+0E01 (Thai) and U+1F600 (outside the BMP) have no place in code page 936.
    ASSERT_TRUE(Utf8ToText("a\xE0\xB8\x81" "b\xF0\x9F\x98\x80", &text));
    EXPECT_EQ(L"a\x0E01" L"b\xD83D\xDE00", text);
    EXPECT_EQ(std::string("a\xE0\xB8\x81" "b\xF0\x9F\x98\x80"), TextToUtf8String(text));
}

namespace {

// What Windows decodes from the bytes (up to the first zero byte) in a code page.
std::wstring SystemDecode(UINT codePage, const std::string& bytes, bool upToZero) {
    std::string input = upToZero ? bytes.substr(0, bytes.find('\0')) : bytes;
    if (input.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(codePage, 0, input.data(), static_cast<int>(input.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, input.data(), static_cast<int>(input.size()), &out[0], n);
    return out;
}

}  // namespace

// The one-pass reading of lists and answers gives exactly the text the
// system's decoders give, and keeps well-formed UTF-8 as it is.
TEST(Conversions, OnePassDecodingAgreesWithTheSystem) {
    const struct { std::string bytes; bool wellFormed; } cases[] = {
        {"plain ascii=1\r\n", true},
        {"", true},
        {"\xE4\xB8\xAD\xE6\x96\x87\\a.txt", true},
        {"b\xF0\x9F\x98\x80\xEF\xBC\x88", true},  // beyond the BMP, and U+FF08
        {"\xD6\xD0\xCE\xC4.txt", false},             // GBK: the ANSI code page reads it
        {"\xC0\xAF", false},                          // overlong "/"
        {"\xED\xA0\x80", false},                      // a surrogate
        {"\xF4\x90\x80\x80", false},                  // beyond U+10FFFF
        {"\xF8\x88\x80\x80\x80", false},              // a five-byte form IsUtf8Text lets pass
        {"\xE4\xB8", false},                          // cut inside a character
        {"a\xE4\xB8\xAD", true},
        {std::string("a\0\xE4\xB8\xAD", 5), false},    // a zero byte ends what is read
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.wellFormed, IsWellFormedUtf8(c.bytes.data(), c.bytes.size())) << c.bytes;
        std::wstring received = IsUtf8Text(c.bytes) ? SystemDecode(CP_UTF8, c.bytes, true)
                                                    : SystemDecode(CP_THREAD_ACP, c.bytes, false);
        EXPECT_EQ(received, ReceivedBytesToText(c.bytes)) << c.bytes;
        EXPECT_EQ(SystemDecode(CP_UTF8, c.bytes, true), Utf8BytesToText(c.bytes)) << c.bytes;
        std::string kept = ReceivedBytesAsUtf8(c.bytes);
        EXPECT_EQ(TextToUtf8String(received), kept) << c.bytes;
        EXPECT_TRUE(IsWellFormedUtf8(kept.data(), kept.size()) || kept.find('\0') != std::string::npos) << c.bytes;
        if (c.wellFormed) {
            EXPECT_EQ(c.bytes, kept);
        }
        EXPECT_EQ(TextToUtf8String(Utf8BytesToText(c.bytes)), Utf8AsWellFormed(c.bytes)) << c.bytes;
    }
}

// Names kept as UTF-8 sort as Windows and std::wstring sort them: by UTF-16
// code units, which puts characters beyond U+FFFF before U+E000..U+FFFF.
TEST(Conversions, Utf8NamesCompareAsUtf16) {
    const std::wstring names[] = {L"", L"a", L"ab", L"B", L"b", L"\x00E9", L"\x4E2D", L"\xE000", L"\xFF08",
                                  L"\xD83D\xDE00", L"\xD83D\xDE00x", L"\xD800\xDC00", L"\xDBFF\xDFFF"};
    for (const std::wstring& a : names) {
        for (const std::wstring& b : names) {
            int expected = a.compare(b);
            int got = CompareAsUtf16(TextToUtf8String(a), TextToUtf8String(b));
            EXPECT_EQ(expected < 0, got < 0) << TextToUtf8String(a) << " " << TextToUtf8String(b);
            EXPECT_EQ(expected == 0, got == 0) << TextToUtf8String(a) << " " << TextToUtf8String(b);
        }
    }
}

TEST(Conversions, Utf8TrimsTheWhiteSpaceTheTextHas) {
    for (const std::wstring& text : {std::wstring(L"  a b \t"), std::wstring(L"\x3000名字\x3000"),
                                     std::wstring(L"\r\n x"), std::wstring(L"\x00A0y\x2003"), std::wstring(L" "),
                                     std::wstring(L"\x4E2D"), std::wstring()}) {
        EXPECT_EQ(TextToUtf8String(TrimWhiteSpace(text)), std::string(TrimUtf8(TextToUtf8String(text))))
            << TextToUtf8String(text);
    }
}

TEST(Conversions, AnsiOnlyWhereEveryCharacterHasItsExactForm) {
    EXPECT_EQ("a?b", TextToAnsi(L"a\x0E01" L"b"));  // the lossy form, for traces
    const struct { std::wstring text; bool exact; std::string bytes; } cases[] = {
        {L"plain.dll", true, "plain.dll"},
        {L"中文\\插件.dll", true, "\xD6\xD0\xCE\xC4\\\xB2\xE5\xBC\xFE.dll"},
        {L"a\x0E01.dll", false, ""},  // Thai
        {L"\xFF41.dll", true, "\xA3\xE1.dll"},  // fullwidth a: code page 936 has it
        {L"\xD83D\xDE00.dll", false, ""},  // outside the BMP
    };
    for (const auto& c : cases) {
        std::string out = "untouched";
        EXPECT_EQ(c.exact, TextToAnsiExact(c.text, &out));
        EXPECT_EQ(c.exact ? c.bytes : "untouched", out);
    }
}

TEST(Conversions, MissingArgumentsLeaveOutputAlone) {
    std::wstring out = L"kept";
    EXPECT_FALSE(Utf8ToText(nullptr, &out));
    EXPECT_FALSE(TextToUtf8(nullptr, &out));
    EXPECT_EQ(L"kept", out);
    EXPECT_FALSE(Utf8ToText("x", nullptr));
    EXPECT_FALSE(SplitText(L"a", L",", nullptr));
}

TEST(Conversions, TextToUtf8BytesWritesFromStartAndGrows) {
    std::string out = "0123456789";
    TextToUtf8Bytes(L"é", &out);
    EXPECT_EQ(std::string("\xC3\xA9" "23456789"), out);
    std::string small;
    TextToUtf8Bytes(L"中", &small);
    EXPECT_EQ("\xE4\xB8\xAD", small);
}

TEST(SplitText, Table) {
    const struct { std::wstring text, delims; std::vector<std::wstring> pieces; } cases[] = {
        {L",a,,b,", L",", {L"a", L"b"}},
        {L"a\r\n  \r\nb", L"\r\n", {L"a"}},
        {L" a , b", L",", {L"a", L"b"}},
        {L"k=v=w", L"=", {L"k", L"v", L"w"}},
        {L"", L",", {}},
        {L",,,", L",", {}},
        {L"one", L" ", {L"one"}},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> out;
        EXPECT_TRUE(SplitText(c.text, c.delims, &out));
        EXPECT_EQ(c.pieces, out) << c.text;
    }
}

TEST(SplitText, AppendsToTheList) {
    std::vector<std::wstring> out;
    SplitText(L",a,,b,", L",", &out);
    SplitText(L",a,,b,", L",", &out);
    EXPECT_EQ(4u, out.size());
}

TEST(UrlDecode, Table) {
    const struct { std::string in, out; } cases[] = {
        {"a+b", "a b"}, {"%41", "A"}, {"%2f", "/"}, {"C:%5CGame%20Dir", "C:\\Game Dir"},
        {"100%", "100%"}, {"%4", "%4"}, {"%zz1", "%zz1"}, {"%%41", "%A"}, {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.out, UrlDecode(c.in)) << c.in;
}

TEST(Formatting, IntAndHex) {
    EXPECT_EQ(L"-42", IntToText(-42));
    EXPECT_EQ(L"2147483647", IntToText(2147483647));
    EXPECT_EQ("0AFF", BytesToHexUpper(std::string("\x0A\xFF", 2)));
}
