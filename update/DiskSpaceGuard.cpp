#include "update/DiskSpaceGuard.h"

#include <windows.h>

#include "util/FileUtils.h"

DiskSpaceGuard::DiskSpaceGuard(const std::wstring& folder, uint64_t floorBytes, FreeSpaceQuery query)
    : folder_(folder), floor_(floorBytes), query_(query ? std::move(query) : FreeSpaceQuery(FreeDiskBytes)) {}

bool DiskSpaceGuard::Reserve(uint64_t count) {
    ScopedLock hold(lock_);
    if (count <= budget_) {
        budget_ -= count;
        return true;
    }
    uint64_t freeBytes = 0;
    if (!query_(folder_, &freeBytes)) {
        // The drive cannot say (a network share, a driver's refusal): the write
        // itself will tell when the disk is full.
        budget_ = 0;
        return true;
    }
    uint64_t usable = freeBytes > floor_ ? freeBytes - floor_ : 0;
    if (count > usable) {
        budget_ = 0;
        return false;
    }
    // Other programs write to the drive too: ask again after half the floor at
    // the latest, so the floor is never undercut by more than that.
    uint64_t left = usable - count;
    budget_ = left < floor_ / 2 ? left : floor_ / 2;
    return true;
}
