#pragma once
// Which resource files are on disk, learnt by reading every folder once: with
// tens of thousands of installed files, asking Windows about each one costs a
// round trip per file, a folder listing one per folder.
#include <cstdint>
#include <string>
#include <unordered_map>

class InstalledFiles {
public:
    // Lists the files below root (ending in a backslash); those below root +
    // collectBelow ("game\", or empty for all) are remembered by their path
    // relative to that folder. Files that a killed download left under a
    // temporary name are deleted on the way.
    void Scan(const std::wstring& root, const std::wstring& collectBelow);
    // Whether the entry name (relative to the collected folder) is a file on disk.
    bool Contains(const std::wstring& name) const;
    // Its size in bytes; 0 when it is not there.
    uint64_t SizeOf(const std::wstring& name) const;
    size_t Size() const { return files_.size(); }
    size_t RemovedTemporaries() const { return removedTemporaries_; }

private:
    std::unordered_map<std::wstring, uint64_t> files_;  // folded relative name to size
    size_t removedTemporaries_ = 0;
};
