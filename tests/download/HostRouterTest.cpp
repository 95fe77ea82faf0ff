// Where a request's resource lies on each CDN host, and which failures move a
// request to another host.
#include <gtest/gtest.h>

#include "download/HostRouter.h"

TEST(HostRouter, MapsTheLongestMatchingPrefixToTheSameOnAnotherHost) {
    HostRouter router;
    router.Reset({{L"http://a/r/conf/list.txt", L"http://a/r/"},
                  {L"http://b:81/m/x/conf/main.txt", L"http://b:81/m/x/"}});
    const struct { const wchar_t* url; const wchar_t* onMirror; } cases[] = {
        {L"http://a/r/conf/list.txt?r=20261211", L"http://b:81/m/x/conf/main.txt?r=20261211"},
        {L"http://a/r/conf/list.txt.sig?r=1", L"http://b:81/m/x/conf/main.txt.sig?r=1"},
        {L"http://a/r/conf/list.txt.index", L"http://b:81/m/x/conf/main.txt.index"},
        {L"http://a/r/pkg1/tq_game.tqpkg", L"http://b:81/m/x/pkg1/tq_game.tqpkg"},
        {L"http://other/r/pkg1/tq_game.tqpkg", L"http://other/r/pkg1/tq_game.tqpkg"},  // on no host: as it is
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.url, router.UrlOn(c.url, 0));
        EXPECT_EQ(c.onMirror, router.UrlOn(c.url, 1));
    }
    EXPECT_EQ(2u, router.Count());
    EXPECT_TRUE(router.Untried(1u << 0));
    EXPECT_FALSE(router.Untried((1u << 0) | (1u << 1)));
}

TEST(HostRouter, OneHostUnlessToldOtherwise) {
    HostRouter router;
    EXPECT_EQ(1u, router.Count());
    EXPECT_EQ(0u, router.Pick(0));
    EXPECT_EQ(L"http://a/x", router.UrlOn(L"http://a/x", 0));
}

TEST(HostRouter, OnlyTheHostsFailuresMoveARequest) {
    const struct { FailureKind kind; bool hosts; } cases[] = {
        {FailureKind::ContentCheck, true}, {FailureKind::ServerAnswer, true}, {FailureKind::BadAnswer, true},
        {FailureKind::NoConnection, true}, {FailureKind::TimedOut, true},   {FailureKind::DiskFull, false},
        {FailureKind::FileInUse, false},   {FailureKind::DiskError, false}, {FailureKind::None, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.hosts, HostRouter::IsHostFault(FailureCause(c.kind, 0))) << FailureKindName(c.kind);
    }
}
