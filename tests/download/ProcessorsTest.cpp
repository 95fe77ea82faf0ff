// Records, the two engine processors and the grouping of files into segments.
#include <gtest/gtest.h>

#include "download/DownloadTaskInfo.h"
#include "download/DownloadTextProcessor.h"
#include "download/DownloaderTask.h"
#include "download/DownloaderTaskDispatcher.h"
#include "download/RecordingProcessor.h"
#include "download/SegmentDownloadDataProcessor.h"

namespace {

const wchar_t kPkg[] = L"http://127.0.0.1/pkg";

DownloadTaskInfo File(const std::wstring& name, int64_t offset, uint32_t size, const std::wstring& url = kPkg) {
    return DownloadTaskInfo(url, name, 1, L"", offset, size);
}

}  // namespace

TEST(DownloadRecords, SegmentFromOneFile) {
    SegmentDownloadTaskInfo whole{DownloadTaskInfo()};
    EXPECT_EQ(-1, whole.rangeStart);
    EXPECT_EQ(0u, whole.length);
    ASSERT_EQ(1u, whole.files.size());

    DownloadTaskInfo file = File(L"a", 0, 100);
    file.postData = L"x=1";
    SegmentDownloadTaskInfo ranged(file);
    EXPECT_EQ(0, ranged.rangeStart);
    EXPECT_EQ(100u, ranged.length);
    EXPECT_EQ(L"x=1", ranged.postData);
    EXPECT_EQ(L"a", ranged.files[0].name);
}

TEST(DownloadRecords, TaskIdsFollowEachOther) {
    DownloaderTask first;
    DownloaderTask second;
    EXPECT_GT(first.Id(), 0);
    EXPECT_EQ(first.Id() + 1, second.Id());
}

TEST(SegmentProcessor, CutsPiecesAtFileBoundaries) {
    SegmentDownloadTaskInfo segment(File(L"a", 100, 10));
    segment.files = {File(L"a", 100, 10), File(L"b", 110, 20), File(L"c", 130, 30)};
    segment.length = 60;
    RecordingProcessor a(segment.files[0]), b(segment.files[1]), c(segment.files[2]);
    SegmentDownloadDataProcessor processor(segment, {&a, &b, &c});
    std::string body = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX";
    ASSERT_TRUE(processor.Begin(60));
    ASSERT_TRUE(processor.Write(body.data(), 25));
    EXPECT_EQ(body.substr(0, 10), a.bytes);
    EXPECT_EQ(body.substr(10, 15), b.bytes);
    ASSERT_TRUE(processor.Write(body.data() + 25, 35));
    EXPECT_EQ(body.substr(10, 20), b.bytes);
    EXPECT_EQ(body.substr(30, 30), c.bytes);
    EXPECT_EQ(1, a.writes);
    EXPECT_EQ(2, b.writes);
    EXPECT_EQ(60u, c.lastContentLength);  // every file sees the whole response's length
    EXPECT_TRUE(processor.End());
}

TEST(SegmentProcessor, EmptyAndUncoveredFilesNeverStallTheRest) {
    // a (4 bytes), an empty file, a file without a processor (5 bytes), d (3 bytes),
    // then 4 bytes past the range.
    SegmentDownloadTaskInfo segment(File(L"a", 0, 4));
    segment.files = {File(L"a", 0, 4), File(L"empty", 4, 0), File(L"none", 4, 5), File(L"d", 9, 3)};
    segment.length = 12;
    RecordingProcessor a(segment.files[0]), empty(segment.files[1]), d(segment.files[3]);
    SegmentDownloadDataProcessor processor(segment, {&a, &empty, &d});
    std::string body = "AAAAnnnnnDDDxxxx";
    ASSERT_TRUE(processor.Begin(0));
    ASSERT_TRUE(processor.Write(body.data(), static_cast<uint32_t>(body.size())));
    EXPECT_EQ("AAAA", a.bytes);
    EXPECT_EQ("DDD", d.bytes);
    EXPECT_EQ(1, empty.begins);
    EXPECT_EQ(0, empty.writes);
    ASSERT_TRUE(processor.End());
    EXPECT_EQ(1, empty.ends);
}

TEST(SegmentProcessor, WholeResourceGoesToEveryProcessor) {
    SegmentDownloadTaskInfo segment(File(L"a", -1, 0));
    segment.files.push_back(File(L"b", -1, 7));
    RecordingProcessor a(segment.files[0]), b(segment.files[1]);
    SegmentDownloadDataProcessor processor(segment, {&a, &b});
    ASSERT_TRUE(processor.Begin(0));
    ASSERT_TRUE(processor.Write("hello", 5));
    ASSERT_TRUE(processor.Write(" you", 4));
    EXPECT_EQ("hello you", a.bytes);
    EXPECT_EQ("hello you", b.bytes);
}

TEST(SegmentProcessor, OneFailingFileFailsTheCallButReachesTheOthers) {
    // A file that refuses, or whose processor runs out of memory: either fails
    // the attempt, never the worker (nor the process).
    for (bool byAllocation : {false, true}) {
        SCOPED_TRACE(byAllocation ? "allocation failure" : "refusal");
        SegmentDownloadTaskInfo segment(File(L"a", 0, 2));
        segment.files = {File(L"a", 0, 2), File(L"b", 2, 2), File(L"c", 4, 2)};
        segment.length = 6;
        RecordingProcessor a(segment.files[0]), b(segment.files[1]), c(segment.files[2]);
        a.failBegin = true;
        a.failWrite = 1;
        a.failEnd = true;
        a.failByAllocation = byAllocation;
        SegmentDownloadDataProcessor processor(segment, {&a, &b, &c});
        EXPECT_FALSE(processor.Begin(6));
        EXPECT_EQ(1, c.begins);
        EXPECT_FALSE(processor.Write("aabbcc", 6));
        EXPECT_EQ("cc", c.bytes);
        EXPECT_FALSE(processor.End());
        // Every processor is ended, so each can begin cleanly in the next attempt.
        EXPECT_EQ(1, b.ends);
        EXPECT_EQ(1, c.ends);
    }
}

TEST(TextProcessor, ByteOrderMarkIsLeftOut) {
    const struct { std::string body; std::string content; } cases[] = {
        {"\xEF\xBB\xBF{\"a\":1}", "{\"a\":1}"},
        {"\xEF\xBB\xBF", ""},
        {"\xEF\xBB", "\xEF\xBB"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        DownloadTextProcessor text{DownloadTaskInfo(), 1024};
        ASSERT_TRUE(text.Begin(0));
        ASSERT_TRUE(text.Write(c.body.data(), static_cast<uint32_t>(c.body.size())));
        std::string out = "old";
        ASSERT_TRUE(text.GetContent(&out));
        EXPECT_EQ(c.content, out);
    }
}

TEST(TextProcessor, BeginForgetsTheFailedAttempt) {
    DownloadTextProcessor text{DownloadTaskInfo(), 1024};
    text.Begin(0);
    text.Write("partial", 7);
    text.End();
    text.Begin(0);
    text.Write("full", 4);
    std::string out;
    text.GetContent(&out);
    EXPECT_EQ("full", out);
}

// Segments as (url, rangeStart, length, file names) for compact comparison.
namespace {
std::string Describe(const std::vector<SegmentDownloadTaskInfo>& segments) {
    std::string out;
    for (const auto& s : segments) {
        out += std::string(s.url.begin(), s.url.end()) + "@" + std::to_string(s.rangeStart) + "+" +
               std::to_string(s.length) + ":";
        for (const auto& f : s.files) out += std::string(f.name.begin(), f.name.end());
        out += " ";
    }
    return out;
}
}  // namespace

TEST(Grouping, PacksTouchingFilesUpToTenMiB) {
    const uint32_t mib4 = 4194304;
    std::vector<DownloadTaskInfo> files = {File(L"c", 2 * mib4, mib4), File(L"a", 0, mib4), File(L"d", 3 * mib4, 5),
                                           File(L"b", mib4, mib4)};
    auto segments = DownloaderTaskDispatcher::GroupIntoSegments(files);
    EXPECT_EQ("http://127.0.0.1/pkg@0+12582912:abc http://127.0.0.1/pkg@12582912+5:d ", Describe(segments));
    EXPECT_EQ(L"a", files[0].name);  // sorted in place
    EXPECT_EQ(L"d", files[3].name);

    // A single file over the limit stands alone; the next touching file starts anew.
    std::vector<DownloadTaskInfo> big = {File(L"x", 0, 11000000), File(L"y", 11000000, 10)};
    EXPECT_EQ("http://127.0.0.1/pkg@0+11000000:x http://127.0.0.1/pkg@11000000+10:y ",
              Describe(DownloaderTaskDispatcher::GroupIntoSegments(big)));

    // A segment's length never wraps past 4 GiB.
    std::vector<DownloadTaskInfo> huge = {File(L"s", 0, 5), File(L"h", 5, 0xFFFFFFFFu)};
    EXPECT_EQ("http://127.0.0.1/pkg@0+5:s http://127.0.0.1/pkg@5+4294967295:h ",
              Describe(DownloaderTaskDispatcher::GroupIntoSegments(huge)));
}

TEST(Grouping, SplitsOnGapsUrlsAndPostData) {
    DownloadTaskInfo posted = File(L"p", 10, 5);
    posted.postData = L"k=v";
    std::vector<DownloadTaskInfo> files = {
        File(L"a", 0, 10), File(L"g", 11, 5),  // one byte gap
        posted,                                // touches a, but another body
        File(L"B", 500, 1, L"http://127.0.0.1/B"), File(L"z", 0, 1, L"http://127.0.0.1/z"),
    };
    auto segments = DownloaderTaskDispatcher::GroupIntoSegments(files);
    // Keys in ordinal order: ".../B?" < ".../pkg?" < ".../pkg?k=v" < ".../z?", whatever the offsets.
    EXPECT_EQ("http://127.0.0.1/B@500+1:B http://127.0.0.1/pkg@0+10:a http://127.0.0.1/pkg@11+5:g "
              "http://127.0.0.1/pkg@10+5:p http://127.0.0.1/z@0+1:z ",
              Describe(segments));
}

TEST(Grouping, WholeResourceFilesPackOnlyAfterAnEmptyOne) {
    std::vector<DownloadTaskInfo> two = {File(L"a", -1, 5), File(L"b", -1, 5)};
    EXPECT_EQ(2u, DownloaderTaskDispatcher::GroupIntoSegments(two).size());
    std::vector<DownloadTaskInfo> packed = {File(L"a", -1, 0), File(L"a", -1, 0)};
    auto segments = DownloaderTaskDispatcher::GroupIntoSegments(packed);
    ASSERT_EQ(1u, segments.size());
    EXPECT_EQ(-1, segments[0].rangeStart);
    EXPECT_EQ(2u, segments[0].files.size());
}

TEST(TextProcessor, AnswersOverTheLimitAreRefused) {
    const std::string piece(600, 'x');
    DownloadTextProcessor text{DownloadTaskInfo(), 1000};
    EXPECT_FALSE(text.Begin(1001));  // announced too long: not read at all
    ASSERT_TRUE(text.Begin(0));      // no length announced
    EXPECT_TRUE(text.Write(piece.data(), 600));
    EXPECT_FALSE(text.Write(piece.data(), 401));
    EXPECT_TRUE(text.Write(piece.data(), 400));  // exactly the limit
    EXPECT_FALSE(text.Write(piece.data(), 1));
    ASSERT_TRUE(text.Begin(1000));
    EXPECT_TRUE(text.Write(piece.data(), 600));
    std::string out;
    text.GetContent(&out);
    EXPECT_EQ(piece, out);
}
