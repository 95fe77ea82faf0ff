// HttpClient against the in-process test server.
#include "download/TestHttpServer.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include "download/HttpClient.h"
#include "download/RecordingProcessor.h"
#include "download/ShortTimings.h"
#include "download/TraceCapture.h"

namespace {

class HttpClientTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(server.Start());
        base = server.BaseUrl();
        data = TestHttpServer::Pattern(300000, 7);
        client.SetFormHeaders();
        client.attempts = 1;
    }
    std::wstring Url(const char* path) { return base + std::wstring(path, path + strlen(path)); }
    int32_t Get(const char* path, int64_t rangeStart, uint32_t length) {
        return client.Execute(Url(path), &processor, kHttpGet, L"", rangeStart, length);
    }

    ShortTimings timings;
    TestHttpServer server;
    std::wstring base;
    std::string data;
    HttpClient client;
    RecordingProcessor processor;
};

}  // namespace

TEST_F(HttpClientTest, HeaderSets) {
    const std::wstring agent =
        L"User-Agent:Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
        L"Chrome/45.0.2454.101 Safari/537.36";
    EXPECT_EQ((std::vector<std::wstring>{L"Accept: */*", agent,
                                         L"Content-Type:application/x-www-form-urlencoded;charset=UTF-8"}),
              client.headers);
    client.SetJsonHeaders();
    EXPECT_EQ((std::vector<std::wstring>{L"Accept: */*", agent, L"Content-Type:application/json;charset=UTF-8"}),
              client.headers);
}

TEST_F(HttpClientTest, RangedGetDeliversExactlyTheRange) {
    server.Add("/pkg", {data, TestHttpServer::kRanges});
    EXPECT_EQ(200, Get("pkg", 1000, 150000));  // 206 reported as 200
    EXPECT_EQ(data.substr(1000, 150000), processor.bytes);
    EXPECT_EQ(150000u, processor.lastContentLength);
    EXPECT_EQ(1024u, processor.largestWrite);
    auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("bytes=1000-150999", requests[0].headers["range"]);
    EXPECT_EQ("*/*", requests[0].headers["accept"]);
    EXPECT_EQ(0u, requests[0].headers["user-agent"].find("Mozilla/5.0 (Windows NT 6.1; WOW64)"));
    EXPECT_EQ("application/x-www-form-urlencoded;charset=UTF-8", requests[0].headers["content-type"]);
}

TEST_F(HttpClientTest, RangeLineArithmetic) {
    server.Add("/pkg", {data, TestHttpServer::kRanges});
    const struct { int64_t start; uint32_t length; const char* line; } cases[] = {
        {0, 1, "bytes=0-0"},
        {4294967296LL, 10, "bytes=4294967296-4294967305"},
        {-1, 0, nullptr},
    };
    for (const auto& c : cases) {
        Get("pkg", c.start, c.length);
        auto request = server.Requests().back();
        if (c.line) {
            EXPECT_EQ(c.line, request.headers["range"]);
        } else {
            EXPECT_EQ(0u, request.headers.count("range"));
            EXPECT_EQ(data, processor.bytes);
        }
    }
}

TEST_F(HttpClientTest, UrlFormsReachTheRightPath) {
    server.Add("/", {"root", TestHttpServer::kRanges});
    server.Add("/a/b/c.txt", {"abc", TestHttpServer::kRanges});
    const std::wstring port = std::to_wstring(server.Port());
    const struct { std::wstring url; const char* target; } cases[] = {
        {L"http://127.0.0.1:" + port, "/"},
        {L"http://127.0.0.1:" + port + L"\\a\\b\\c.txt?r=1", "/a/b/c.txt?r=1"},
        // The scheme does not decide TLS: on a port other than 443 this is plain HTTP.
        {L"https://127.0.0.1:" + port + L"/a/b/c.txt", "/a/b/c.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(200, client.Execute(c.url, &processor, kHttpGet, L"", -1, 0));
        EXPECT_EQ(c.target, server.Requests().back().target);
    }
}

TEST(HttpUrl, SplitsServerPortAndPath) {
    const struct { const wchar_t* url; bool ok; const wchar_t* server; uint16_t port; const wchar_t* path; } cases[] = {
        {L"http://example.invalid", true, L"example.invalid", 80, L"/"},
        {L"https://example.invalid/x?y=1", true, L"example.invalid", 443, L"/x?y=1"},
        {L"http://h:8000/a/../b", true, L"h", 8000, L"/b"},
        {L"not a url", false, L"", 0, L""},
    };
    for (const auto& c : cases) {
        std::wstring server, path;
        uint16_t port = 0;
        ASSERT_EQ(c.ok, SplitRequestUrl(c.url, &server, &port, &path)) << c.url;
        if (!c.ok) continue;
        EXPECT_EQ(c.server, server) << c.url;
        EXPECT_EQ(c.port, port) << c.url;
        EXPECT_EQ(c.path, path) << c.url;
    }
}

TEST_F(HttpClientTest, PostSendsTheBodyGetNever) {
    server.Add("/api", {"{}", TestHttpServer::kRanges});
    EXPECT_EQ(200, client.Execute(Url("api"), &processor, kHttpPost, L"{\"a\":\"b\"}", -1, 0));
    EXPECT_EQ(200, client.Execute(Url("api"), &processor, kHttpPost, L"", -1, 0));
    EXPECT_EQ(200, client.Execute(Url("api"), &processor, kHttpGet, L"ignored", -1, 0));
    auto requests = server.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ("{\"a\":\"b\"}", requests[0].body);
    EXPECT_EQ("POST", requests[1].method);
    EXPECT_EQ("", requests[1].body);
    EXPECT_EQ("GET", requests[2].method);
    EXPECT_EQ("", requests[2].body);
    EXPECT_EQ("{}", processor.bytes);
}

TEST_F(HttpClientTest, AttemptsEndWithTheLastResult) {
    server.Add("/flaky", {data, TestHttpServer::kRanges, 1});
    client.attempts = 3;
    EXPECT_EQ(404, Get("missing", 0, 10));
    EXPECT_EQ(3u, server.Requests().size());
    EXPECT_EQ(0, processor.begins);  // a 404 body is never read
    EXPECT_EQ(3, processor.ends);

    // A processor for which a missing file is an answer asks once.
    processor.Reset();
    processor.missingIsAnswer = true;
    EXPECT_EQ(404, Get("missing", 0, 10));
    EXPECT_EQ(4u, server.Requests().size());
    EXPECT_EQ(1, processor.ends);

    processor.Reset();
    EXPECT_EQ(200, Get("flaky", 5, 10));  // 503 first, then the range
    EXPECT_EQ(6u, server.Requests().size());
    EXPECT_EQ(data.substr(5, 10), processor.bytes);
    EXPECT_EQ(2, processor.ends);

    client.attempts = 0;
    EXPECT_EQ(-1, Get("flaky", 0, 10));
    EXPECT_EQ(-1, client.Execute(Url("flaky"), nullptr, kHttpGet, L"", 0, 10));
    EXPECT_EQ(6u, server.Requests().size());
}

TEST_F(HttpClientTest, RefusedConnectionIsANetworkFailureEachAttempt) {
    TraceCapture trace;
    client.attempts = 2;
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(TestHttpServer::RefusingPort()) + L"/pkg";
    EXPECT_EQ(-3, client.Execute(url, &processor, kHttpGet, L"", 0, 10));
    EXPECT_EQ(2, processor.ends);
    EXPECT_EQ(2, trace.Count(L"请求网络数据失败\t" + std::to_wstring(ERROR_INTERNET_CANNOT_CONNECT)));
}

TEST_F(HttpClientTest, ProcessorRefusalsGiveTheirCodes) {
    server.Add("/pkg", {data, TestHttpServer::kRanges});
    client.attempts = 2;
    const struct { bool failBegin; int failWrite; bool failEnd; int32_t result; int ends; } cases[] = {
        {true, 0, false, -5, 1},  // a processor that refused the start would refuse again
        {false, 3, false, -4, 2},  // retried like any failure
        {false, 0, true, -3, 2},  // even though the body arrived whole
    };
    for (const auto& c : cases) {
        processor.Reset();
        processor.failBegin = c.failBegin;
        processor.failWrite = c.failWrite;
        processor.failEnd = c.failEnd;
        EXPECT_EQ(c.result, Get("pkg", 0, 100000));
        EXPECT_EQ(c.ends, processor.ends);
        if (c.failWrite) {
            // The third piece is refused and reading stops; the retry's first piece too.
            EXPECT_EQ(4, processor.writes);
        }
    }
}

// A server that ignores Range must not shift bytes into the wrong files.
TEST_F(HttpClientTest, WholeAnswerToARangedRequestIsCutToTheRange) {
    server.Add("/norange", {data, TestHttpServer::kIgnoreRange});
    EXPECT_EQ(200, Get("norange", 200000, 5000));
    EXPECT_EQ(data.substr(200000, 5000), processor.bytes);
}

// An empty file standing alone needs no request (its Range line would be invalid).
TEST_F(HttpClientTest, EmptyRangeIsNotRequested) {
    server.Add("/pkg", {data, TestHttpServer::kRanges});
    client.attempts = 3;
    EXPECT_EQ(200, Get("pkg", 100, 0));
    EXPECT_EQ(0u, server.Requests().size());
    EXPECT_EQ(1, processor.begins);
    EXPECT_EQ(1, processor.ends);
    EXPECT_EQ("", processor.bytes);
}

// A body that ends early is never a complete file.
TEST_F(HttpClientTest, ShortOrCutBodiesFail) {
    server.Add("/short", {data, TestHttpServer::kShortBody});
    server.Add("/cut", {data, TestHttpServer::kCutBody});
    const struct { const char* path; int64_t start; uint32_t length; } cases[] = {
        {"short", 0, 200000}, {"short", -1, 0}, {"cut", 0, 200000}, {"cut", -1, 0},
    };
    for (const auto& c : cases) {
        processor.Reset();
        EXPECT_EQ(-3, Get(c.path, c.start, c.length)) << c.path << " " << c.start;
        EXPECT_EQ(1, processor.ends);
    }
}

// A whole resource (a list, a statement, a notice answer) is taken only when it
// arrived whole: with its length, or in chunked framing where that is allowed.
TEST_F(HttpClientTest, OnlyAnswersThatProvablyEndedWholeAreTaken) {
    server.Add("/chunked", {data, TestHttpServer::kChunked});
    server.Add("/chunked-cut", {data, TestHttpServer::kChunkedCut});
    server.Add("/no-length", {data, TestHttpServer::kNoLength});
    server.Add("/partial", {data, TestHttpServer::kPartial});
    const struct { const char* path; bool chunkedAllowed; int result; } cases[] = {
        {"chunked", true, 200},       // a server's answer
        {"chunked", false, -3},       // a CDN file has its length
        {"chunked-cut", false, -3},   // closed at a chunk's end, without the last chunk
        {"no-length", true, -3},      // ended by closing the connection: as a cut one would
        {"partial", true, -3},        // 206 to a request without Range
    };
    for (const auto& c : cases) {
        processor.Reset();
        client.chunkedWholeAnswers = c.chunkedAllowed;
        EXPECT_EQ(c.result, Get(c.path, -1, 0)) << c.path << " " << c.chunkedAllowed;
        EXPECT_EQ(1, processor.ends) << c.path;
        if (c.result == 200) {
            EXPECT_EQ(0u, processor.lastContentLength);  // a chunked answer begins with no length
            EXPECT_EQ(data, processor.bytes);
        }
    }
}

TEST_F(HttpClientTest, CancelEndsAWaitingReadAtOnceAndEveryFurtherAttempt) {
    TestHttpServer::Resource stall{data, TestHttpServer::kStall};
    stall.stallAfter = 20000;
    server.Add("/stall", stall);
    client.attempts = 5;
    int32_t result = 0;
    struct Args { HttpClientTest* test; int32_t* result; };
    Args args{this, &result};
    CWinThread worker;
    ASSERT_TRUE(worker.Begin([](LPVOID p) -> UINT {
        Args* a = static_cast<Args*>(p);
        *a->result = a->test->Get("stall", 0, 300000);
        return 0;
    }, &args));
    // The worker now waits for bytes the server holds back until Release.
    ASSERT_TRUE(server.WaitForStalled(1, 10000));
    client.Cancel();
    bool ended = ::WaitForSingleObject(worker.Handle(), 20000) == WAIT_OBJECT_0;  // hang guard only
    server.Release();
    worker.Join();
    ASSERT_TRUE(ended) << "the cancel did not reach the waiting read";
    EXPECT_EQ(-2, result);
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_EQ(1, processor.ends);
    EXPECT_LT(processor.bytes.size(), data.size());
}

// A cancel made before the request (as a Stop just before a worker's
// request) stands until the client is reset.
TEST_F(HttpClientTest, CancelBeforeTheRequestIsNotLost) {
    server.Add("/pkg", {data, TestHttpServer::kRanges});
    client.Cancel();
    EXPECT_EQ(-2, Get("pkg", 0, 10));
    EXPECT_EQ(0u, server.Requests().size());
    client.ResetCancel();
    EXPECT_EQ(200, Get("pkg", 0, 10));
}

// A transfer that averages under 1 KiB/s over the stall window fails its
// attempt as a time-out would; a slow one above that rate does not.
TEST_F(HttpClientTest, StalledTransfersFailAfterTheirWindow) {
    ShortTimings shortWindow(10, 1, 300);
    const struct { const char* path; TestHttpServer::Mode mode; DWORD dripMs; uint32_t dripBytes; int32_t result; } cases[] = {
        {"/drip", TestHttpServer::kDrip, 20, 1, -3},       // 50 bytes a second after a first burst
        {"/silent", TestHttpServer::kSilent, 0, 0, -3},    // no answer at all
        {"/steady", TestHttpServer::kDrip, 10, 200, 200},  // about 20 KiB a second
    };
    for (const auto& c : cases) {
        TestHttpServer::Resource resource{data.substr(0, 20000), c.mode};
        resource.stallAfter = 1000;
        resource.dripMs = c.dripMs;
        resource.dripBytes = c.dripBytes;
        server.Add(c.path, resource);
        processor.Reset();
        TraceCapture trace;
        EXPECT_EQ(c.result, client.Execute(Url(c.path + 1), &processor, kHttpGet, L"", 0, 20000)) << c.path;
        EXPECT_EQ(c.result == 200 ? 0 : 1, trace.Count(L"请求网络数据失败\t" + std::to_wstring(ERROR_INTERNET_TIMEOUT)))
            << c.path;
        EXPECT_EQ(1, processor.ends) << c.path;
    }
    server.Release();
}
