// AsyncHttpRequest: one OnResponse per Request, however quickly they follow.
#include "download/TestHttpServer.h"

#include <gtest/gtest.h>

#include <functional>

#include "download/AsyncHttpRequest.h"
#include "download/ShortTimings.h"

namespace {

struct TextParams : AsyncRequestParams {
    explicit TextParams(const std::wstring& body) : body(body) {}
    std::wstring body;
};

class TextRequest : public AsyncHttpRequest {
public:
    TextRequest(const std::wstring& url, HttpMethod method, int32_t json, int32_t attempts)
        : url_(url), method_(method), json_(json), attempts_(attempts),
          answered_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~TextRequest() override { Shutdown(); }

    bool WaitAnswer(DWORD timeoutMs = 10000) { return ::WaitForSingleObject(answered_.Get(), timeoutMs) == WAIT_OBJECT_0; }
    std::vector<std::pair<std::string, int32_t>> Answers() {
        ScopedLock hold(lock_);
        return answers_;
    }
    // Run inside OnResponse and OnWorkerFinished, on the worker thread.
    std::function<void()> onAnswer;
    std::function<void()> onWorkerEnding;

protected:
    void BuildRequest(std::wstring* url, std::wstring* postData) override {
        *url = url_;
        *postData = static_cast<TextParams*>(Params())->body;
    }
    HttpMethod GetRequestMethod() override { return method_; }
    int32_t UseJsonBody() override { return json_; }
    int32_t GetAttempts() override { return attempts_; }
    uint32_t GetMaxAnswerBytes() override { return 1024 * 1024; }
    void OnResponse(std::string body, int32_t resultCode, const FailureCause&) override {
        {
            ScopedLock hold(lock_);
            answers_.emplace_back(body, resultCode);
        }
        if (onAnswer) onAnswer();
        ::SetEvent(answered_.Get());
    }
    void OnWorkerFinished() override {
        if (onWorkerEnding) onWorkerEnding();
    }

private:
    std::wstring url_;
    HttpMethod method_;
    int32_t json_;
    int32_t attempts_;
    CriticalSection lock_;
    std::vector<std::pair<std::string, int32_t>> answers_;
    ScopedHandle answered_;
};

std::unique_ptr<AsyncRequestParams> Body(const std::wstring& text) {
    return std::unique_ptr<AsyncRequestParams>(new TextParams(text));
}

class AsyncHttpRequestTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Start()); }
    ShortTimings timings{10, 0};
    TestHttpServer server;
};

}  // namespace

TEST_F(AsyncHttpRequestTest, PostsTheBodyAndAnswersWithTheText) {
    server.Add("/notice", {"\xEF\xBB\xBF{\"resdata\":[]}", TestHttpServer::kRanges});
    TextRequest request(server.BaseUrl() + L"notice", kHttpPost, 1, 5);
    EXPECT_NE(0, request.Request(Body(L"{\"t\":\"1\"}")));
    ASSERT_TRUE(request.WaitAnswer());
    auto answers = request.Answers();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(200, answers[0].second);
    EXPECT_EQ("{\"resdata\":[]}", answers[0].first);
    auto requests = server.Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("POST", requests[0].method);
    EXPECT_EQ("{\"t\":\"1\"}", requests[0].body);
    EXPECT_EQ("application/json;charset=UTF-8", requests[0].headers["content-type"]);
    EXPECT_EQ(0u, requests[0].headers.count("range"));
}

TEST_F(AsyncHttpRequestTest, FailureAnswersWithAnEmptyBody) {
    TextRequest request(server.BaseUrl() + L"missing", kHttpGet, 0, 2);
    request.Request(Body(L""));
    ASSERT_TRUE(request.WaitAnswer());
    EXPECT_FALSE(request.WaitAnswer(200));
    auto answers = request.Answers();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(404, answers[0].second);
    EXPECT_EQ("", answers[0].first);
    EXPECT_EQ(2u, server.Requests().size());
}

// A Request made after the worker found nothing more to do, while it is
// ending, is served: by the same worker or by a new one.
TEST_F(AsyncHttpRequestTest, RequestWhileTheWorkerEndsIsServed) {
    server.Add("/n", {"ok", TestHttpServer::kRanges});
    TextRequest request(server.BaseUrl() + L"n", kHttpGet, 0, 1);
    ScopedHandle ending(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ScopedHandle requested(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    volatile LONG endings = 0;
    request.onWorkerEnding = [&]() {
        if (::InterlockedIncrement(&endings) > 1) return;
        ::SetEvent(ending.Get());
        ::WaitForSingleObject(requested.Get(), 10000);
    };
    request.Request(Body(L""));
    ASSERT_TRUE(request.WaitAnswer());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ending.Get(), 10000));
    EXPECT_NE(0, request.Request(Body(L"")));
    ::SetEvent(requested.Get());
    ASSERT_TRUE(request.WaitAnswer());
    EXPECT_EQ(2u, request.Answers().size());
    EXPECT_EQ(2u, server.Requests().size());
}

// Each Request made the moment the previous answer arrived lands in one of the
// worker's ending steps at random: every one must still be served, once.
TEST_F(AsyncHttpRequestTest, QuickSuccessionGetsOneAnswerEach) {
    server.Add("/n", {"ok", TestHttpServer::kRanges});
    TextRequest request(server.BaseUrl() + L"n", kHttpPost, 0, 1);
    const int kRequests = 60;
    for (int i = 0; i < kRequests; ++i) {
        request.Request(Body(std::to_wstring(i)));
        ASSERT_TRUE(request.WaitAnswer()) << "request " << i;
        if (i % 3 == 1) ::Sleep(1);  // vary where the next Request meets the worker
    }
    request.Shutdown();  // its worker has ended: no answer can follow
    ASSERT_EQ(static_cast<size_t>(kRequests), request.Answers().size());
    auto requests = server.Requests();
    ASSERT_EQ(static_cast<size_t>(kRequests), requests.size());
    for (int i = 0; i < kRequests; ++i) EXPECT_EQ(std::to_string(i), requests[i].body);
}

TEST_F(AsyncHttpRequestTest, RequestFromInsideTheAnswerIsServed) {
    server.Add("/n", {"ok", TestHttpServer::kRanges});
    TextRequest request(server.BaseUrl() + L"n", kHttpGet, 0, 1);
    int remaining = 10;
    ScopedHandle lastAnswer(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    request.onAnswer = [&]() {
        if (--remaining > 0) {
            request.Request(Body(L""));
        } else {
            ::SetEvent(lastAnswer.Get());
        }
    };
    request.Request(Body(L""));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(lastAnswer.Get(), 20000));
    request.Shutdown();  // its worker has ended: no answer can follow
    EXPECT_EQ(10u, request.Answers().size());
    EXPECT_EQ(10u, server.Requests().size());
}
