// Choosing a CDN host on a clock the test moves: no sleeping, no network.
#include <gtest/gtest.h>

#include "download/HostHealth.h"

namespace {
const uint32_t kNoneTried = 0;
}

TEST(HostHealth, OneHostIsAlwaysTheOneUntilTried) {
    HostHealth hosts(1);
    EXPECT_EQ(0u, hosts.Pick(kNoneTried, 0));
    hosts.Failed(0, 10);
    // Set aside, but the only one: a request that has not tried it still goes there.
    EXPECT_EQ(0u, hosts.Pick(kNoneTried, 20));
    EXPECT_EQ(HostHealth::kNone, hosts.Pick(1u << 0, 20));
}

TEST(HostHealth, EachHostIsMeasuredOnceThenTheFastestServes) {
    HostHealth hosts(2);
    // Nothing known: the primary, then the mirror for the next request.
    ASSERT_EQ(0u, hosts.Pick(kNoneTried, 0));
    hosts.RequestStarted(0);
    ASSERT_EQ(1u, hosts.Pick(kNoneTried, 0));
    hosts.RequestStarted(1);
    // Both under way, neither measured: spread over both.
    EXPECT_EQ(0u, hosts.Pick(kNoneTried, 0));
    hosts.RequestStarted(0);
    EXPECT_EQ(1u, hosts.Pick(kNoneTried, 0));

    hosts.Delivered(1, 10 << 20, 100);  // the mirror: 100 MiB/s
    hosts.RequestEnded(1);
    hosts.Delivered(0, 1 << 20, 1000);  // the primary: 1 MiB/s
    hosts.RequestEnded(0);
    EXPECT_EQ(1u, hosts.Pick(kNoneTried, 0));
    hosts.RequestStarted(1);
    hosts.RequestStarted(1);
    EXPECT_EQ(1u, hosts.Pick(kNoneTried, 0));  // still the fastest, however busy
    EXPECT_EQ(0u, hosts.Pick(1u << 1, 0));     // a request the mirror failed goes to the primary
}

TEST(HostHealth, ASetAsideHostWaitsItsTimeUnlessNoOtherIsLeft) {
    HostHealth hosts(3);
    hosts.Failed(0, 1000);
    hosts.Failed(1, 2000);
    EXPECT_TRUE(hosts.IsSetAside(0, 1000));
    EXPECT_EQ(2u, hosts.Pick(kNoneTried, 3000));
    // A request host 2 failed: of the two set aside, the one set aside longest ago.
    EXPECT_EQ(0u, hosts.Pick(1u << 2, 3000));
    EXPECT_EQ(1u, hosts.Pick((1u << 2) | (1u << 0), 3000));
    EXPECT_EQ(HostHealth::kNone, hosts.Pick(0x7, 3000));
    // Its time over, a host is chosen again like any other.
    EXPECT_FALSE(hosts.IsSetAside(0, 1000 + HostHealth::kSetAsideMs));
    EXPECT_EQ(0u, hosts.Pick(1u << 2, 1000 + HostHealth::kSetAsideMs));
    // A host that delivers again is no longer set aside.
    hosts.Delivered(1, 1000, 10);
    EXPECT_FALSE(hosts.IsSetAside(1, 3000));
}

TEST(HostHealth, SpeedsFollowTheLaterSamples) {
    HostHealth hosts(1);
    EXPECT_EQ(0u, hosts.Speed(0));
    hosts.Delivered(0, 4000, 1000);
    EXPECT_EQ(4000u, hosts.Speed(0));
    hosts.Delivered(0, 2000, 1000);
    EXPECT_EQ(3000u, hosts.Speed(0));
    hosts.Delivered(0, 0, 0);  // an empty request still counts as measured
    EXPECT_EQ(1500u, hosts.Speed(0));
}

TEST(HostHealth, InOrderThePrimaryWhileItWorksWhateverTheSpeeds) {
    HostHealth hosts(3);
    hosts.Delivered(2, 100 << 20, 1000);  // the fastest is a mirror
    hosts.Delivered(0, 1 << 20, 1000);
    hosts.Delivered(1, 2 << 20, 1000);
    EXPECT_EQ(2u, hosts.Pick(kNoneTried, 0));
    EXPECT_EQ(0u, hosts.PickInOrder(kNoneTried, 0));
    EXPECT_EQ(1u, hosts.PickInOrder(1u << 0, 0));
    hosts.Failed(0, 10);
    EXPECT_EQ(1u, hosts.PickInOrder(kNoneTried, 20));
    hosts.Failed(1, 30);
    EXPECT_EQ(2u, hosts.PickInOrder(kNoneTried, 40));
    EXPECT_EQ(0u, hosts.PickInOrder(1u << 2, 40));  // both others set aside: the earlier one
    EXPECT_EQ(HostHealth::kNone, hosts.PickInOrder(0x7, 40));
}
