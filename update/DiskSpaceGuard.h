#pragma once
// Keeps a batch's writes from filling the player's drive: every write asks for
// its bytes first, and is refused when the drive would keep less than a floor
// of free space. The drive is asked only now and then, not for every write.
#include <cstdint>
#include <functional>
#include <string>

#include "afx/ScopedWin.h"

class DiskSpaceGuard {
public:
    // Free bytes of the drive holding folder; false when Windows cannot tell.
    using FreeSpaceQuery = std::function<bool(const std::wstring& folder, uint64_t* freeBytes)>;
    static const uint64_t kDefaultFloor = 64ull * 1024 * 1024;

    // query defaults to FreeDiskBytes; tests give their own.
    explicit DiskSpaceGuard(const std::wstring& folder, uint64_t floorBytes = kDefaultFloor,
                            FreeSpaceQuery query = FreeSpaceQuery());
    DiskSpaceGuard(const DiskSpaceGuard&) = delete;
    DiskSpaceGuard& operator=(const DiskSpaceGuard&) = delete;

    // True when count more bytes may be written. Any thread.
    bool Reserve(uint64_t count);

private:
    std::wstring folder_;
    uint64_t floor_;
    FreeSpaceQuery query_;
    CriticalSection lock_;
    // Bytes that may still be written before the drive is asked again.
    uint64_t budget_ = 0;
};
