// Lists and statements made by the content packer (tests/update/make_list_statements.py)
// checked the way the launcher checks them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "support/TestEnv.h"
#include "update/FileReplace.h"
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
        channel = Fixture(L"channel.txt");
        ASSERT_FALSE(list.empty() || good.empty() || keyA.empty() || channel.empty())
            << "C:\\list-statements\\ (fixture list_statements)";
    }
    std::string list, good, keyA, keyB, channel;
};

}  // namespace

TEST_F(ListStatementTest, OnlyAGoodStatementPasses) {
    std::string changedList = list;
    changedList[changedList.size() / 2] ^= 0x01;
    const std::string channelLine = "channel " + channel + "\n";
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
        {"statement's channel changed", list, Replaced(good, channelLine, "channel " + channel + "x\n"), 0,
         ListCheck::BadSignature},
        {"signed by another key", list, Fixture(L"other-key.sig"), 0, ListCheck::BadSignature},
        {"signed for another channel", list, Fixture(L"other-channel.sig"), 0, ListCheck::OtherChannel},
        {"signed in the form before channels", list, Fixture(L"version-1.sig"), 0, ListCheck::NoChannel},
        {"serial below the one remembered", list, good, 501, ListCheck::RolledBack},
        {"expired", list, Fixture(L"expired.sig"), 0, ListCheck::Expired},
        {"missing", list, "", 0, ListCheck::MissingStatement},
        {"channel line missing", list, Replaced(good, channelLine, ""), 0, ListCheck::Malformed},
        {"channel line after the digest", list,
         Replaced(Replaced(good, channelLine, ""), "serial ", channelLine + "serial "), 0, ListCheck::Malformed},
        {"channel empty", list, Replaced(good, channelLine, "channel \n"), 0, ListCheck::Malformed},
        {"channel with a blank", list, Replaced(good, channelLine, "channel com.a b\n"), 0, ListCheck::Malformed},
        {"channel with a tab", list, Replaced(good, channelLine, "channel com.a\tb\n"), 0, ListCheck::Malformed},
        {"channel beyond ASCII", list, Replaced(good, channelLine, "channel com.\xC3\xA4\n"), 0,
         ListCheck::Malformed},
        {"channel too long", list, Replaced(good, channelLine, "channel " + std::string(kMaxChannelLength + 1, 'c') + "\n"),
         0, ListCheck::Malformed},
        {"CR LF line ends", list, Replaced(good, "\n", "\r\n"), 0, ListCheck::Malformed},
        {"last line end missing", list, good.substr(0, good.size() - 1), 0, ListCheck::Malformed},
        {"a line more", list, good + "note x\n", 0, ListCheck::Malformed},
        {"upper-case hex", list, Replaced(good, "signature ", "signature A"), 0, ListCheck::Malformed},
        {"another version", list, Replaced(good, "statement 2", "statement 3"), 0, ListCheck::Malformed},
        {"an HTML error page", list, "<html>404</html>\n", 0, ListCheck::Malformed},
    };
    for (const auto& c : cases) {
        AcceptedStatement accepted;
        accepted.serial = -1;
        EXPECT_EQ(c.expected, CheckListStatement(c.list, c.statement, {keyA}, channel, c.remembered, kNow,
                                                 &accepted))
            << c.name;
        EXPECT_EQ(c.expected == ListCheck::Accepted ? 500 : -1, accepted.serial) << c.name;
        EXPECT_EQ(c.expected == ListCheck::Accepted ? keyA : "", accepted.key) << c.name;
    }
}

TEST(ListSignature, ChannelsArePrintableAsciiWithoutBlanks) {
    const struct {
        std::string text;
        bool valid;
    } cases[] = {
        {"com.halvek.drel.pc.talmo", true},
        {"!~", true},
        {std::string(kMaxChannelLength, 'c'), true},
        {std::string(kMaxChannelLength + 1, 'c'), false},
        {"", false},
        {"a b", false},
        {"a\x7F", false},
        {"a\x1F", false},
        {"\xE4", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.valid, IsValidChannel(c.text)) << c.text;
}

TEST_F(ListStatementTest, KeysAsABuildHasThem) {
    AcceptedStatement accepted;
    // A key being rolled: either of two keys signs, and the one that did is named.
    EXPECT_EQ(ListCheck::Accepted, CheckListStatement(list, good, {keyB, keyA}, channel, 0, kNow, &accepted));
    EXPECT_EQ(keyA, accepted.key);
    EXPECT_EQ(ListCheck::Accepted,
              CheckListStatement(list, Fixture(L"other-key.sig"), {keyA, keyB}, channel, 0, kNow, &accepted));
    EXPECT_EQ(keyB, accepted.key);
    // No key, or one that does not import, verifies nothing.
    EXPECT_EQ(ListCheck::BadSignature, CheckListStatement(list, good, {}, channel, 0, kNow, &accepted));
    std::string notOnTheCurve = keyA;
    notOnTheCurve[127] = notOnTheCurve[127] == '0' ? '1' : '0';
    for (const std::string& bad : {std::string(), keyA.substr(2), notOnTheCurve, std::string(128, 'g')}) {
        EXPECT_EQ(ListCheck::BadSignature, CheckListStatement(list, good, {bad}, channel, 0, kNow, &accepted)) << bad;
    }
    // The expiry time itself is too late.
    EXPECT_EQ(ListCheck::Expired, CheckListStatement(list, good, {keyA}, channel, 0, 1000, &accepted));
}

TEST(ListSignature, StatementUrlAddsToThePath) {
    EXPECT_EQ(L"http://cdn/a/conf/list.txt.sig", StatementUrlFor(L"http://cdn/a/conf/list.txt"));
    EXPECT_EQ(L"http://cdn/conf/list.txt.sig?r=20240101000000", StatementUrlFor(L"http://cdn/conf/list.txt?r=20240101000000"));
    EXPECT_EQ(L"http://cdn/list.txt.sig#x", StatementUrlFor(L"http://cdn/list.txt#x"));
}

namespace {

// A launcher's list trust over a game root and data folder of the test's own.
struct TrustFolders {
    explicit TrustFolders(const wchar_t* name) {
        std::wstring folder = FreshTestFolder(name);
        dataFile = folder + L"data\\list_serials.txt";  // the folders are made when first written
        rootFile = folder + L"root\\list_serials.txt";
    }
    // As the launcher sets it up at a start: the data folder's copy first, the game root's once known.
    void Start(ListTrust* trust, const std::string& keys, const std::string& channel) const {
        trust->Configure(keys, channel, dataFile);
        trust->SetGameRootSerialFile(rootFile);
    }
    std::wstring dataFile, rootFile;
};

}  // namespace

TEST_F(ListStatementTest, TheHighestSerialCountsForTheChannelWhateverTheKey) {
    TrustFolders folders(L"list-trust");
    ListTrust trust;
    folders.Start(&trust, keyB + ";" + keyA, channel);
    ASSERT_TRUE(trust.Required());
    const struct {
        const wchar_t* statement;
        ListCheck expected;
        int64_t rememberedAfter;
    } steps[] = {
        {L"good.sig", ListCheck::Accepted, 500},
        {L"serial-400.sig", ListCheck::RolledBack, 500},
        {L"serial-600.sig", ListCheck::Accepted, 600},
        {L"good.sig", ListCheck::RolledBack, 600},
        // The other key's statement, older than what the first brought: switching keys is no way back.
        {L"other-key.sig", ListCheck::RolledBack, 600},
        {L"other-key-700.sig", ListCheck::Accepted, 700},
        {L"serial-600.sig", ListCheck::RolledBack, 700},
        {L"other-channel.sig", ListCheck::OtherChannel, 700},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(s.expected, trust.CheckAt(list, Fixture(s.statement), kNow)) << s.statement;
        int64_t remembered = -1;
        ASSERT_TRUE(trust.RememberedSerial(&remembered));
        EXPECT_EQ(s.rememberedAfter, remembered) << s.statement;
    }
    // A refused statement with a higher serial is not remembered.
    EXPECT_EQ(ListCheck::ListChanged, trust.CheckAt(list + "x", Fixture(L"other-key-700.sig"), kNow));
    // Both copies hold one line per key for the channel.
    const std::string expected = "600 " + keyA.substr(0, 16) + " " + channel + "\r\n700 " + keyB.substr(0, 16) +
                                 " " + channel + "\r\n";
    EXPECT_EQ(expected, FileBytes(folders.dataFile));
    EXPECT_EQ(expected, FileBytes(folders.rootFile));
    EXPECT_FALSE(FileExists(folders.dataFile + L".new") || FileExists(folders.rootFile + L".new"));
    // Another channel has a history of its own.
    ListTrust otherChannel;
    folders.Start(&otherChannel, keyA, "com.example.naval.mobile");
    EXPECT_EQ(ListCheck::Accepted, otherChannel.CheckAt(list, Fixture(L"other-channel.sig"), kNow));
}

TEST_F(ListStatementTest, OneCopyOfTheSerialsIsEnough) {
    const struct {
        const char* name;
        bool deleteDataCopy;
        bool deleteRootCopy;
        bool lockDataCopy;
        bool lockRootCopy;
        ListCheck expected;
    } cases[] = {
        {"both copies", false, false, false, false, ListCheck::RolledBack},
        {"the data folder's copy deleted", true, false, false, false, ListCheck::RolledBack},
        {"the game root's copy deleted", false, true, false, false, ListCheck::RolledBack},
        {"both deleted: nothing is remembered", true, true, false, false, ListCheck::Accepted},
        {"the data folder's copy unreadable", false, false, true, false, ListCheck::SerialUnreadable},
        {"the game root's copy unreadable", false, false, false, true, ListCheck::SerialUnreadable},
    };
    for (const auto& c : cases) {
        TrustFolders folders(L"list-trust-copies");
        {
            ListTrust earlier;
            folders.Start(&earlier, keyA, channel);
            ASSERT_EQ(ListCheck::Accepted, earlier.CheckAt(list, Fixture(L"serial-600.sig"), kNow)) << c.name;
        }
        if (c.deleteDataCopy) {
            ASSERT_TRUE(::DeleteFileW(folders.dataFile.c_str())) << c.name;
        }
        if (c.deleteRootCopy) {
            ASSERT_TRUE(::DeleteFileW(folders.rootFile.c_str())) << c.name;
        }
        const std::wstring& lockedPath = c.lockDataCopy ? folders.dataFile : folders.rootFile;
        ScopedFileHandle locked;
        if (c.lockDataCopy || c.lockRootCopy) {
            locked.Reset(::CreateFileW(lockedPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(locked.IsValid()) << c.name;
        }
        // The next start of the launcher is offered the older list.
        ListTrust later;
        folders.Start(&later, keyA, channel);
        EXPECT_EQ(c.expected, later.CheckAt(list, good, kNow)) << c.name;
        if (c.lockDataCopy || c.lockRootCopy) continue;
        // A copy lost while the other guarded is made again by the next list taken.
        EXPECT_EQ(ListCheck::Accepted, later.CheckAt(list, Fixture(L"serial-600.sig"), kNow)) << c.name;
        EXPECT_EQ(FileBytes(folders.dataFile), FileBytes(folders.rootFile)) << c.name;
        EXPECT_NE(std::string::npos, FileBytes(folders.rootFile).find("600 ")) << c.name;
    }
}

TEST_F(ListStatementTest, LinesOfAnotherFormAreKeptButDoNotCount) {
    TrustFolders folders(L"list-trust-upgrade");
    // What a launcher before channels remembered per URL, and a line of another channel.
    const std::string before = "900 http://cdn/a/conf/list.txt\r\n800 " + keyA.substr(0, 16) +
                               " com.example.naval.mobile\r\n";
    ASSERT_TRUE(ReplaceFileBytes(folders.dataFile, before));
    ListTrust trust;
    folders.Start(&trust, keyA, channel);
    EXPECT_EQ(ListCheck::Accepted, trust.CheckAt(list, good, kNow));
    EXPECT_EQ(before + "500 " + keyA.substr(0, 16) + " " + channel + "\r\n", FileBytes(folders.dataFile));
}
