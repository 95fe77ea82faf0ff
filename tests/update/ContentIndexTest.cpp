// The content index: read strictly, bound to its list, chunks that tile the
// file and its member; anything else leaves the index unused.
#include <gtest/gtest.h>

#include <string>

#include "update/ContentIndex.h"
#include "update/UpdateTestSupport.h"

namespace {

const std::string kList = "a.bin=0123=res1=0=100\r\n";

std::string ListLine(const std::string& list = kList) { return "list " + Sha256Hex(list) + "\n"; }

std::string Hash(const std::string& text) { return Sha256Hex(text); }

// A chunked file of two chunks (100 and 50 bytes) and a small file.
std::string GoodIndex() {
    return "drel-content-index 1\n" + ListLine() + "file " + Hash("whole") + " 2 game dir\\a b.bin\n" +
           "chunk 0 100 10 40 " + Hash("one") + "\n" + "chunk 100 50 50 30 " + Hash("two") + "\n" + "file " +
           Hash("small") + " 0 small.txt\n";
}

}  // namespace

TEST(ContentIndex, ReadsFilesAndTheirChunks) {
    ContentIndex index;
    ASSERT_EQ(ContentIndexFault::None, index.Parse(GoodIndex(), Sha256Raw(kList)));
    const ContentIndexEntry* big = index.Find(L"game dir\\a b.bin");
    ASSERT_NE(nullptr, big);
    EXPECT_EQ(Sha256Raw("whole"), big->sha256);
    ASSERT_EQ(2u, big->chunks.size());
    EXPECT_EQ(100u, big->chunks[1].offset);
    EXPECT_EQ(50u, big->chunks[1].memberOffset);
    EXPECT_EQ(Sha256Raw("two"), big->chunks[1].sha256);
    EXPECT_EQ(150u, big->FileSize());
    EXPECT_EQ(80u, big->MemberEnd());
    const ContentIndexEntry* small = index.Find(L"small.txt");
    ASSERT_NE(nullptr, small);
    EXPECT_TRUE(small->chunks.empty());
    EXPECT_EQ(nullptr, index.Find(L"SMALL.txt"));  // names as the list has them
}

TEST(ContentIndex, AnIndexOfAnotherListIsNotUsed) {
    ContentIndex index;
    EXPECT_EQ(ContentIndexFault::OtherList, index.Parse(GoodIndex(), Sha256Raw("another list")));
    EXPECT_TRUE(index.Empty());
}

TEST(ContentIndex, RefusesWhatIsNoIndexOrWhoseChunksDoNotTile) {
    const std::string head = "drel-content-index 1\n" + ListLine();
    const std::string h = Hash("x");
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"another version", "drel-content-index 2\n" + ListLine()},
        {"no list line", "drel-content-index 1\nfile " + h + " 0 a\n"},
        {"list digest in upper case", "drel-content-index 1\nlist " + std::string(64, 'A') + "\n"},
        {"last line without LF", head + "file " + h + " 0 a"},
        {"CR LF line ends", "drel-content-index 1\r\n" + ListLine()},
        {"fewer chunk lines than counted", head + "file " + h + " 2 a\nchunk 0 10 10 5 " + h + "\n"},
        {"a gap in the file", head + "file " + h + " 2 a\nchunk 0 10 10 5 " + h + "\nchunk 11 10 15 5 " + h + "\n"},
        {"a gap in the member", head + "file " + h + " 2 a\nchunk 0 10 10 5 " + h + "\nchunk 10 10 16 5 " + h + "\n"},
        {"first chunk inside the gzip header", head + "file " + h + " 1 a\nchunk 0 10 9 5 " + h + "\n"},
        {"a chunk not from 0", head + "file " + h + " 1 a\nchunk 1 10 10 5 " + h + "\n"},
        {"an empty chunk", head + "file " + h + " 1 a\nchunk 0 0 10 5 " + h + "\n"},
        {"a chunk over the largest size", head + "file " + h + " 1 a\nchunk 0 262145 10 5 " + h + "\n"},
        {"a bad digest", head + "file " + h + " 1 a\nchunk 0 10 10 5 " + h.substr(1) + "g\n"},
        {"a number with a sign", head + "file " + h + " 1 a\nchunk +0 10 10 5 " + h + "\n"},
        {"a leading zero", head + "file " + h + " 1 a\nchunk 00 10 10 5 " + h + "\n"},
        {"a name twice", head + "file " + h + " 0 a\nfile " + h + " 0 a\n"},
        {"an empty name", head + "file " + h + " 0 \n"},
        {"a control character in a name", head + "file " + h + " 0 a\tb\n"},
        {"a name that is no UTF-8", head + "file " + h + " 0 \xC3\x28\n"},
        {"an unknown line", head + "files " + h + " 0 a\n"},
        {"a blank line", head + "\n"},
    };
    for (const auto& c : cases) {
        ContentIndex index;
        EXPECT_EQ(ContentIndexFault::Malformed, index.Parse(c.text, Sha256Raw(kList))) << c.what;
        EXPECT_TRUE(index.Empty()) << c.what;
    }
}
