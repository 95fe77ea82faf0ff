#pragma once
// Which resource files are on disk, learnt by reading every folder once: with
// tens of thousands of installed files, asking Windows about each one costs a
// round trip per file, a folder listing one per folder.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class InstalledFiles {
public:
    // Lists the files below root (ending in a backslash); those below root +
    // collectBelow ("game\", or empty for all) are remembered by their path
    // relative to that folder. Files under a temporary name (a download's
    // leftovers) are noted for RemoveTemporaries, never counted as installed.
    // expectedFiles (the installed list's size, say) sizes the set once.
    void Scan(const std::wstring& root, const std::wstring& collectBelow, size_t expectedFiles = 0);
    // Whether the entry name (relative to the collected folder) is a file on disk.
    bool Contains(const std::wstring& name) const;
    // Its size in bytes; 0 when it is not there.
    uint64_t SizeOf(const std::wstring& name) const;
    size_t Size() const { return files_.size(); }
    // Deletes the temporary files the scan found, except those whose path
    // (folded by FoldResourceName, as TemporaryPathKey gives it) is in keep: a
    // file being rebuilt from chunks keeps what an earlier run verified.
    // Nothing reached through a folder link is deleted. Gives how many went.
    size_t RemoveTemporaries(const std::unordered_set<std::wstring>& keep);
    // The key RemoveTemporaries compares: the path without a "\\?\" prefix, folded.
    static std::wstring TemporaryPathKey(const std::wstring& path);

private:
    // The size of the file of that entry name, or null.
    const uint64_t* Find(const std::wstring& name) const;

    std::unordered_map<std::wstring, uint64_t> files_;  // folded relative name to size
    std::vector<std::wstring> temporaries_;             // deletable temporary files, full paths
    mutable std::wstring folded_;                       // Find's buffer: one thread asks at a time
};
