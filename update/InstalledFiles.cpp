#include "update/InstalledFiles.h"

#include <windows.h>

#include <utility>
#include <vector>

#include "afx/ScopedWin.h"
#include "update/ResourcePath.h"
#include "util/FileUtils.h"

namespace {

// Folder links (junctions, symbolic links) are followed, so a player's moved
// sub-folder still counts; the depth bound ends a link that points back up its
// own tree. Nothing is deleted through a link, though: it may lead out of the
// game root, to files that are not the launcher's.
const size_t kMaxDepth = 64;

struct PendingFolder {
    std::wstring relative;  // to the root, ending in "\" unless empty
    size_t depth;
    bool throughLink;       // reached through a reparse point
};

}  // namespace

void InstalledFiles::Scan(const std::wstring& root, const std::wstring& collectBelow, size_t expectedFiles) {
    files_.clear();
    files_.reserve(expectedFiles);
    temporaries_.clear();
    const std::wstring prefix = FoldResourceName(collectBelow);
    std::vector<PendingFolder> pending{{std::wstring(), 0, false}};
    while (!pending.empty()) {
        PendingFolder folder = std::move(pending.back());
        pending.pop_back();
        WIN32_FIND_DATAW found;
        ScopedFindHandle search(::FindFirstFileExW((LongPathForm(root + folder.relative) + L"*").c_str(),
                                                   FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                                   FIND_FIRST_EX_LARGE_FETCH));
        if (!search.IsValid()) continue;
        do {
            const wchar_t* name = found.cFileName;
            if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))) continue;
            // One string per file, folded and cut where it is: a game folder
            // holds a hundred thousand files, listed on every launch.
            std::wstring relative = folder.relative;
            relative.append(name);
            const bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (folder.depth + 1 < kMaxDepth) {
                    relative += L'\\';
                    pending.push_back({std::move(relative), folder.depth + 1, folder.throughLink || link});
                }
                continue;
            }
            if (HasTemporarySuffix(relative)) {
                if (!folder.throughLink && !link) temporaries_.push_back(root + relative);
                continue;
            }
            std::wstring folded = FoldResourceName(std::move(relative));
            if (folded.compare(0, prefix.size(), prefix) == 0) {
                folded.erase(0, prefix.size());
                files_[std::move(folded)] = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            }
        } while (::FindNextFileW(search.Get(), &found));
    }
}

const uint64_t* InstalledFiles::Find(const std::wstring& name) const {
    // Folded in a buffer kept for it: the comparison asks once per listed name.
    folded_.assign(name);
    folded_ = FoldResourceName(std::move(folded_));
    auto found = files_.find(folded_);
    return found == files_.end() ? nullptr : &found->second;
}

bool InstalledFiles::Contains(const std::wstring& name) const { return Find(name) != nullptr; }

uint64_t InstalledFiles::SizeOf(const std::wstring& name) const {
    const uint64_t* size = Find(name);
    return size ? *size : 0;
}

std::wstring InstalledFiles::TemporaryPathKey(const std::wstring& path) {
    const wchar_t kLongPrefix[] = L"\\\\?\\";
    bool prefixed = path.compare(0, 4, kLongPrefix) == 0;
    return FoldResourceName(prefixed ? path.substr(4) : path);
}

size_t InstalledFiles::RemoveTemporaries(const std::unordered_set<std::wstring>& keep) {
    size_t removed = 0;
    for (const std::wstring& path : temporaries_) {
        if (keep.count(TemporaryPathKey(path))) continue;
        if (::DeleteFileW(LongPathForm(path).c_str())) ++removed;
    }
    temporaries_.clear();
    return removed;
}
