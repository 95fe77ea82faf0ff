#include <gtest/gtest.h>

#include "launcher/NoticeAnswer.h"
#include "support/TestEnv.h"
#include "update/ListSignature.h"
#include "util/TextEncoding.h"

TEST(NoticeAnswer, OutcomeTable) {
    auto nested = [](int depth, const std::string& inner) {
        return std::string(depth, '[') + inner + std::string(depth, ']');
    };
    const struct { std::string body; int32_t code; RequestNoticeResult result; const wchar_t* urls; } cases[] = {
        {R"({"resdata":[{"Type":"pkg","URL":"http://cdn/list.txt"}]})", 200, NoticeOk, L"http://cdn/list.txt"},
        {"\xEF\xBB\xBF" R"({"resdata":[{"Type":"pkg","URL":"u"}]})", 200, NoticeOk, L"u"},
        // The last entry is the primary; the others follow as mirrors, in order, each once.
        {R"({"resdata":[{"Type":"pkg","URL":"a"},{"Type":"pkg","URL":"b"}]})", 200, NoticeOk, L"b a"},
        {R"({"resdata":[{"Type":"pkg","URL":"a"},{"Type":"apk","URL":"x"},{"Type":"pkg","URL":"b"},{"Type":"pkg","URL":"c"}]})",
         200, NoticeOk, L"c a b"},
        {R"({"resdata":[{"Type":"pkg","URL":"a"},{"Type":"pkg","URL":""},{"Type":"pkg","URL":"b"},{"Type":"pkg","URL":"a"}]})",
         200, NoticeOk, L"a b"},
        {R"({"resdata":[{"Type":"pkg","URL":"a"},{"Type":"pkg","URL":""}]})", 200, NoticeNoAddress, L""},
        {R"({"resdata":[{"Type":"pkg","URL":"a"},{"Type":"apk","URL":"b"}]})", 200, NoticeOk, L"a"},
        {R"({"resdata":[{"Type":"pkg","URL":"http://cdn/中文/list.txt"}]})", 200, NoticeOk, L"http://cdn/中文/list.txt"},
        {R"({"resdata":[]})", 200, NoticeNoAddress, L""},
        {R"({"resdata":[{"Type":"PKG","URL":"u"}]})", 200, NoticeNoAddress, L""},
        {R"({"resdata":[{"type":"pkg","URL":"u"}]})", 200, NoticeNoAddress, L""},
        {R"({"resdata":[{"Type":"pkg","URL":""}]})", 200, NoticeNoAddress, L""},
        {R"({"resdata":[{"Type":"pkg","URL":null}]})", 200, NoticeNoAddress, L""},
        {R"({"other":1})", 200, NoticeParseFailed, L""},
        {R"({"resdata":null})", 200, NoticeParseFailed, L""},
        {"<html>not json</html>", 200, NoticeParseFailed, L""},
        {"", 200, NoticeParseFailed, L""},
        // Valid JSON of another shape never ends the launcher.
        {R"([1,2,3])", 200, NoticeParseFailed, L""},
        {R"({"resdata":"text"})", 200, NoticeParseFailed, L""},
        {R"({"resdata":[1,"x",{"Type":1,"URL":2},{"Type":"pkg","URL":{"a":1}}]})", 200, NoticeNoAddress, L""},
        // JsonCpp throws past its depth limit: too deep is just not an answer.
        {nested(1001, ""), 200, NoticeParseFailed, L""},
        {R"({"resdata":[{"Type":"pkg","URL":"u"}],"x":)" + nested(1001, "1") + "}", 200, NoticeParseFailed, L""},
        {R"({"resdata":[{"Type":"pkg","URL":"u","x":)" + nested(20, "1") + "}]}", 200, NoticeOk, L"u"},
        {R"({"resdata":[{"Type":"pkg","URL":"u"}]})", 404, NoticeRequestFailed, L""},
        {R"({"resdata":[{"Type":"pkg","URL":"u"}]})", -3, NoticeRequestFailed, L""},
    };
    for (const auto& c : cases) {
        std::vector<std::wstring> urls = {L"stale"};
        EXPECT_EQ(c.result, ParseNoticeAnswer(c.body, c.code, &urls)) << c.body;
        std::wstring joined;
        for (const std::wstring& url : urls) joined += (joined.empty() ? L"" : L" ") + url;
        EXPECT_EQ(c.urls, joined) << c.body;
    }
}

TEST(NoticeAnswer, BodyIsOneLineWithTheLaunchersVersion) {
    NoticeRequestInfo info = MakeNoticeRequestInfo(L"ABC", TestBinFolder() + L"talmodrel.exe");
    EXPECT_EQ(L"0", info.language);
    EXPECT_EQ(L"com.halvek.drel.pc.talmo", info.packageName);
    std::wstring body = FormatNoticeBody(info, 1700000000);
    EXPECT_EQ(L"{\"packagename\":\"com.halvek.drel.pc.talmo\",\"version\":\"" + info.version +
                  L"\",\"deviceID\":\"ABC\",\"language\":\"0\",\"resdata\":[{\"type\":\"pkg\","
                  L"\"md5\":\"default_md5\"}],\"t\":\"1700000000\"}",
              body);
    EXPECT_NE(L"0.0.0.0", info.version);
    EXPECT_EQ(L"0.0.0.0", MakeNoticeRequestInfo(L"", L"C:\\missing.exe").version);
}

TEST(NoticeAnswer, ThePackageNameIsAChannelSignedListsCanName) {
    // The signed launcher takes only lists whose statement names this package:
    // a name the packer cannot write would refuse every list.
    EXPECT_TRUE(IsValidChannel(TextToUtf8String(kLauncherPackageName)));
    EXPECT_EQ(kLauncherPackageName, MakeNoticeRequestInfo(L"", L"C:\\missing.exe").packageName);
}
