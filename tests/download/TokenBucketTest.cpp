// The speed limit's arithmetic on a clock the test moves: no sleeping.
#include <gtest/gtest.h>

#include "download/DownloadRateLimit.h"
#include "download/TokenBucket.h"

TEST(TokenBucket, UnlimitedGrantsEveryReadWhole) {
    TokenBucket bucket;
    uint32_t wait = 7;
    EXPECT_EQ(60000u, bucket.Take(60000, 0, &wait));
    EXPECT_EQ(0u, wait);
}

TEST(TokenBucket, ReadsNeverExceedWhatTheBucketHolds) {
    TokenBucket bucket(2000000);  // 2 MB/s: a bucket of 200,000 bytes
    ASSERT_EQ(200000u, bucket.Capacity());
    uint32_t wait = 0;
    EXPECT_EQ(150000u, bucket.Take(150000, 0, &wait));
    EXPECT_EQ(50000u, bucket.Take(150000, 0, &wait));  // what is left, not what was asked
    EXPECT_EQ(0u, bucket.Take(150000, 0, &wait));
    // Empty: a quarter of the bucket takes 25 ms to come in at 2 MB/s.
    EXPECT_EQ(25u, wait);
    EXPECT_EQ(50000u, bucket.Take(150000, 25, &wait));
    // A long idle time fills the bucket, never more.
    EXPECT_EQ(200000u, bucket.Take(UINT32_MAX, 100000, &wait));
}

TEST(TokenBucket, SmallLimitsStillReadAKilobyteAtATime) {
    TokenBucket bucket(5000);
    EXPECT_EQ(1024u, bucket.Capacity());
    uint32_t wait = 0;
    EXPECT_EQ(1024u, bucket.Take(4096, 0, &wait));
    EXPECT_EQ(0u, bucket.Take(4096, 0, &wait));
    EXPECT_EQ(52u, wait);  // 256 bytes at 5,000 a second
}

TEST(TokenBucket, RefundsAndNewRatesTakeEffectAtOnce) {
    TokenBucket bucket(1000000);
    uint32_t wait = 0;
    EXPECT_EQ(100000u, bucket.Take(100000, 0, &wait));
    bucket.Refund(40000);  // the read brought fewer bytes than it was granted
    EXPECT_EQ(40000u, bucket.Take(100000, 0, &wait));
    bucket.Refund(UINT32_MAX);  // never beyond a full bucket
    EXPECT_EQ(100000u, bucket.Take(UINT32_MAX, 0, &wait));
    bucket.SetRate(10000000, 0);
    EXPECT_EQ(1000000u, bucket.Take(UINT32_MAX, 0, &wait));
    bucket.SetRate(0, 0);
    EXPECT_EQ(UINT32_MAX, bucket.Take(UINT32_MAX, 0, &wait));
}

TEST(TokenBucket, AClockThatStepsBackAddsNothing) {
    TokenBucket bucket(1000000);
    uint32_t wait = 0;
    bucket.SetRate(1000000, 5000);
    EXPECT_EQ(100000u, bucket.Take(UINT32_MAX, 5000, &wait));
    EXPECT_EQ(0u, bucket.Take(UINT32_MAX, 1000, &wait));
    EXPECT_EQ(1000u, bucket.Take(UINT32_MAX, 5001, &wait));
}

// Three readers share one limit: together they get the limit, not three times it.
TEST(DownloadRateLimit, WorkersTogetherKeepToOneLimit) {
    for (uint64_t rate : {1000000ull, 2000000ull, 10000000ull}) {
        uint64_t now = 0;
        DownloadRateLimit limit([&now] { return now; });
        limit.SetBytesPerSecond(rate);
        uint64_t received = 0;
        uint32_t largest = 0;
        const uint64_t kSeconds = 30;
        while (now < kSeconds * 1000) {
            uint32_t soonest = UINT32_MAX;
            for (int worker = 0; worker < 3; ++worker) {
                uint32_t wait = 0;
                uint32_t granted = limit.TryAcquire(61440, &wait);
                received += granted;
                if (granted > largest) largest = granted;
                if (granted == 0 && wait < soonest) soonest = wait;
            }
            if (soonest != UINT32_MAX) now += soonest;
        }
        const uint64_t capacity = rate / 10;
        // What the clock allowed, plus at most the full bucket it started with.
        EXPECT_GE(received, rate * now / 1000) << rate;
        EXPECT_LE(received, rate * now / 1000 + capacity) << rate;
        EXPECT_LE(largest, 61440u);
        EXPECT_LE(largest, capacity);
    }
}

TEST(DownloadRateLimit, AWaitingReaderEndsWithTheCancel) {
    DownloadRateLimit limit([] { return uint64_t(0); });  // time stands still: the bucket never refills
    limit.SetBytesPerSecond(1000000);
    uint32_t wait = 0;
    EXPECT_EQ(100000u, limit.TryAcquire(UINT32_MAX, &wait));
    ScopedHandle cancel(::CreateEventW(nullptr, TRUE, TRUE, nullptr));
    EXPECT_EQ(0u, limit.Acquire(1000, cancel.Get()));
}
