// Lists and statements made by the content packer (tests/update/make_list_statements.py)
// checked the way the launcher checks them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "support/TestEnv.h"
#include "update/ListSignature.h"
#include "update/ListTrust.h"
#include "update/UpdateTestSupport.h"

namespace {

const int64_t kNow = 900;  // the statements expire at 1000 (expired.sig: 800)

std::string Fixture(const wchar_t* name) { return FileBytes(std::wstring(L"C:\\list-statements\\") + name); }

std::string PublicKey(const wchar_t* name) {
    std::string text = Fixture(name);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

class ListStatementTest : public ::testing::Test {
protected:
    void SetUp() override {
        list = Fixture(L"list.txt");
        good = Fixture(L"good.sig");
        keyA = PublicKey(L"key-a.pub");
        keyB = PublicKey(L"key-b.pub");
        ASSERT_FALSE(list.empty() || good.empty() || keyA.empty()) << "C:\\list-statements\\ (fixture list_statements)";
    }
    std::string list, good, keyA, keyB;
};

}  // namespace

TEST_F(ListStatementTest, OnlyAGoodStatementPasses) {
    std::string changedList = list;
    changedList[changedList.size() / 2] ^= 0x01;
    const struct {
        const char* name;
        std::string list;
        std::string statement;
        int64_t remembered;
        ListCheck expected;
    } cases[] = {
        {"good", list, good, 0, ListCheck::Accepted},
        {"good, serial equal to the one remembered", list, good, 500, ListCheck::Accepted},
        {"good, list with a byte-order mark", "\xEF\xBB\xBF" + list, good, 0, ListCheck::Accepted},
        {"one list byte changed", changedList, good, 0, ListCheck::ListChanged},
        {"list cut short", list.substr(0, list.size() - 1), good, 0, ListCheck::ListChanged},
        {"statement's serial changed", list, Replaced(good, "serial 500", "serial 900"), 0, ListCheck::BadSignature},
        {"statement's expiry changed", list, Replaced(good, "expires 1000", "expires 9000"), 0,
         ListCheck::BadSignature},
        {"signed by another key", list, Fixture(L"other-key.sig"), 0, ListCheck::BadSignature},
        {"serial below the one remembered", list, good, 501, ListCheck::RolledBack},
        {"expired", list, Fixture(L"expired.sig"), 0, ListCheck::Expired},
        {"missing", list, "", 0, ListCheck::MissingStatement},
        {"CR LF line ends", list, Replaced(good, "\n", "\r\n"), 0, ListCheck::Malformed},
        {"last line end missing", list, good.substr(0, good.size() - 1), 0, ListCheck::Malformed},
        {"a line more", list, good + "note x\n", 0, ListCheck::Malformed},
        {"upper-case hex", list, Replaced(good, "signature ", "signature A"), 0, ListCheck::Malformed},
        {"another version", list, Replaced(good, "statement 1", "statement 2"), 0, ListCheck::Malformed},
        {"an HTML error page", list, "<html>404</html>\n", 0, ListCheck::Malformed},
    };
    for (const auto& c : cases) {
        int64_t serial = -1;
        EXPECT_EQ(c.expected, CheckListStatement(c.list, c.statement, {keyA}, c.remembered, kNow, &serial)) << c.name;
        EXPECT_EQ(c.expected == ListCheck::Accepted ? 500 : -1, serial) << c.name;
    }
}

TEST_F(ListStatementTest, KeysAsABuildHasThem) {
    int64_t serial = 0;
    // A key being rolled: either of two keys signs.
    EXPECT_EQ(ListCheck::Accepted, CheckListStatement(list, good, {keyB, keyA}, 0, kNow, &serial));
    EXPECT_EQ(ListCheck::Accepted, CheckListStatement(list, Fixture(L"other-key.sig"), {keyA, keyB}, 0, kNow, &serial));
    // No key, or one that does not import, verifies nothing.
    EXPECT_EQ(ListCheck::BadSignature, CheckListStatement(list, good, {}, 0, kNow, &serial));
    std::string notOnTheCurve = keyA;
    notOnTheCurve[127] = notOnTheCurve[127] == '0' ? '1' : '0';
    for (const std::string& bad : {std::string(), keyA.substr(2), notOnTheCurve, std::string(128, 'g')}) {
        EXPECT_EQ(ListCheck::BadSignature, CheckListStatement(list, good, {bad}, 0, kNow, &serial)) << bad;
    }
    // The expiry time itself is too late.
    EXPECT_EQ(ListCheck::Expired, CheckListStatement(list, good, {keyA}, 0, 1000, &serial));
}

TEST(ListSignature, StatementUrlAddsToThePath) {
    EXPECT_EQ(L"http://cdn/a/conf/list.txt.sig", StatementUrlFor(L"http://cdn/a/conf/list.txt"));
    EXPECT_EQ(L"http://cdn/conf/list.txt.sig?r=20240101000000", StatementUrlFor(L"http://cdn/conf/list.txt?r=20240101000000"));
    EXPECT_EQ(L"http://cdn/list.txt.sig#x", StatementUrlFor(L"http://cdn/list.txt#x"));
}

TEST_F(ListStatementTest, TheRememberedSerialOnlyGrowsPerListUrl) {
    std::wstring folder = FreshTestFolder(L"list-trust");
    std::wstring file = folder + L"data\\list_serials.txt";  // the folder is made when first written
    const std::wstring urlA = L"http://cdn/a/conf/list.txt", urlB = L"http://cdn/b/conf/list.txt";
    ListTrust trust;
    trust.Configure(keyA, file);
    ASSERT_TRUE(trust.Required());
    const struct {
        const std::wstring* url;
        const wchar_t* statement;
        ListCheck expected;
        int64_t rememberedAfter;
    } steps[] = {
        {&urlA, L"good.sig", ListCheck::Accepted, 500},
        {&urlA, L"serial-400.sig", ListCheck::RolledBack, 500},
        {&urlB, L"serial-400.sig", ListCheck::Accepted, 400},  // each URL on its own
        {&urlA, L"serial-600.sig", ListCheck::Accepted, 600},
        {&urlA, L"good.sig", ListCheck::RolledBack, 600},
        {&urlA, L"serial-600.sig", ListCheck::Accepted, 600},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.expected, trust.CheckAt(*s.url, list, Fixture(s.statement), kNow)) << s.statement;
        int64_t remembered = -1;
        ASSERT_TRUE(trust.RememberedSerial(*s.url, &remembered));
        EXPECT_EQ(s.rememberedAfter, remembered) << s.statement;
    }
    // A refused statement with a higher serial is not remembered.
    EXPECT_EQ(ListCheck::ListChanged, trust.CheckAt(urlA, list + "x", Fixture(L"serial-600.sig"), kNow));
    // Another start of the launcher reads what this one remembered.
    ListTrust later;
    later.Configure(keyB + ";" + keyA, file);
    EXPECT_EQ(ListCheck::RolledBack, later.CheckAt(urlA, list, good, kNow));
    EXPECT_EQ(ListCheck::Accepted, later.CheckAt(urlB, list, good, kNow));
    EXPECT_EQ("600 http://cdn/a/conf/list.txt\r\n500 http://cdn/b/conf/list.txt\r\n", FileBytes(file));
    EXPECT_FALSE(FileExists(file + L".new"));

    // Serials that cannot be read refuse the list rather than forget them.
    ScopedFileHandle locked(::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(locked.IsValid());
    EXPECT_EQ(ListCheck::SerialUnreadable, later.CheckAt(urlB, list, good, kNow));
}
