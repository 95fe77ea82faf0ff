#include <gtest/gtest.h>
#include <windows.h>

#include "afx/ScopedWin.h"
#include "download/DownloadTimings.h"
#include "launcher/NoticeRequest.h"
#include "util/FileUtils.h"
#include "util/TextEncoding.h"

namespace {

const wchar_t kControl[] = L"C:\\launcher-server\\";

void SetServerMode(const std::string& mode) {
    ASSERT_TRUE(WriteFileBytes(std::wstring(kControl) + L"mode", mode));
}

std::string LastRequestBody() {
    std::string log;
    ReadFileBytes(std::wstring(kControl) + L"requests.log", &log);
    if (!log.empty() && log.back() == '\n') log.pop_back();
    return log.substr(log.rfind('\n') == std::string::npos ? 0 : log.rfind('\n') + 1);
}

// Runs one notice request against the stub and waits for its single outcome.
struct Outcome {
    int calls = 0;
    std::wstring url;
    RequestNoticeResult result = NoticeOk;
    FailureCause cause;
};

Outcome AskOnce(TKNoticeRequest& request) {
    Outcome outcome;
    ScopedHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    request.SetResultCallback([&](const std::vector<std::wstring>& urls, RequestNoticeResult result,
                                  const FailureCause& cause) {
        ++outcome.calls;
        outcome.url = urls.empty() ? std::wstring() : urls[0];
        outcome.result = result;
        outcome.cause = cause;
        ::SetEvent(done.Get());
    });
    NoticeRequestInfo info = MakeNoticeRequestInfo(L"DEV", L"C:\\missing.exe");
    request.Request(std::make_unique<NoticeRequestParams>(info));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(done.Get(), 60000));
    request.Shutdown();  // its worker has ended: a second callback would have come by now
    return outcome;
}

class NoticeRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        DownloadTimings fast;
        fast.retryPauseMs = 10;
        fast.segmentPauseMs = 0;
        OverrideDownloadTimingsForTesting(fast);
    }
    void TearDown() override { OverrideDownloadTimingsForTesting(DownloadTimings()); }
};

}  // namespace

TEST_F(NoticeRequestTest, OutcomesFromTheServer) {
    // A failed request says why; an answer that came tells nothing more.
    const struct {
        const char* mode;
        RequestNoticeResult result;
        const wchar_t* url;
        FailureCause cause;
    } cases[] = {
        {"ok\nhttp://127.0.0.1:18080/cdn/list.txt", NoticeOk, L"http://127.0.0.1:18080/cdn/list.txt", {}},
        {"empty", NoticeNoAddress, L"", {}},
        {"nopkg", NoticeNoAddress, L"", {}},
        {"garbage", NoticeParseFailed, L"", {}},
        {"deep", NoticeParseFailed, L"", {}},  // too deep for the reader, and the process lives on
        {"huge", NoticeRequestFailed, L"", FailureCause(FailureKind::BadAnswer, -1)},  // over the size limit
        {"404", NoticeRequestFailed, L"", FailureCause(FailureKind::ServerAnswer, 404)},
    };
    TKNoticeRequest request;  // one request object serves every retry
    for (const auto& c : cases) {
        SetServerMode(c.mode);
        Outcome outcome = AskOnce(request);
        EXPECT_EQ(1, outcome.calls) << c.mode;
        EXPECT_EQ(c.result, outcome.result) << c.mode;
        EXPECT_EQ(c.url, outcome.url) << c.mode;
        EXPECT_EQ(c.cause.kind, outcome.cause.kind) << c.mode;
        if (c.cause.code != -1) {  // -1: whatever code the transport gives
            EXPECT_EQ(c.cause.code, outcome.cause.code) << c.mode;
        }
    }
}

TEST_F(NoticeRequestTest, SendsTheJsonBody) {
    SetServerMode("ok\nhttp://x/");
    TKNoticeRequest request;
    AskOnce(request);
    std::string body = LastRequestBody();
    EXPECT_EQ(0u, body.find("{\"packagename\":\"com.halvek.drel.pc.talmo\",\"version\":\"0.0.0.0\","
                            "\"deviceID\":\"DEV\",\"language\":\"0\",\"resdata\":[{\"type\":\"pkg\","
                            "\"md5\":\"default_md5\"}],\"t\":\""))
        << body;
}

TEST_F(NoticeRequestTest, FailingServerIsAskedFiveTimes) {
    SetServerMode("404");
    std::string before;
    ReadFileBytes(std::wstring(kControl) + L"requests.log", &before);
    TKNoticeRequest request;
    Outcome outcome = AskOnce(request);
    EXPECT_EQ(NoticeRequestFailed, outcome.result);
    std::string after;
    ReadFileBytes(std::wstring(kControl) + L"requests.log", &after);
    EXPECT_EQ(5, std::count(after.begin(), after.end(), '\n') - std::count(before.begin(), before.end(), '\n'));
}
