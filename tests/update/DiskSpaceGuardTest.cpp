#include <gtest/gtest.h>

#include "support/TestEnv.h"
#include "update/DiskSpaceGuard.h"

// The game folder of a first install does not exist when the batch starts:
// the drive it will be on is asked all the same, so the floor holds.
TEST(DiskSpaceGuard, AFolderNotMadeYetIsAskedAboutItsDrive) {
    std::wstring notYet = FreshTestFolder(L"disk-guard") + L"game\\deep\\";
    DiskSpaceGuard guard(notYet);
    EXPECT_FALSE(guard.Reserve(1ull << 62));  // more than any drive holds
    EXPECT_TRUE(guard.Reserve(4096));
}
