#include "update/DiskSpaceGuard.h"

#include <windows.h>

#include "util/FileUtils.h"

namespace {

bool QueryFreeBytes(const std::wstring& folder, uint64_t* freeBytes) {
    // A folder not made yet (the game folder of a first install) lies on the
    // drive of its nearest existing parent: the floor holds from the first write.
    std::wstring at = folder;
    for (;;) {
        ULARGE_INTEGER available;
        if (::GetDiskFreeSpaceExW(at.c_str(), &available, nullptr, nullptr)) {
            *freeBytes = available.QuadPart;
            return true;
        }
        DWORD error = ::GetLastError();
        std::wstring parent;
        if ((error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) || !GetParentFolder(at, &parent) ||
            parent.size() >= at.size()) {
            return false;
        }
        at = parent;
    }
}

}  // namespace

DiskSpaceGuard::DiskSpaceGuard(const std::wstring& folder, uint64_t floorBytes, FreeSpaceQuery query)
    : folder_(folder), floor_(floorBytes), query_(query ? std::move(query) : FreeSpaceQuery(QueryFreeBytes)) {}

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
