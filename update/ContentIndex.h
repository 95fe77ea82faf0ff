#pragma once
// The content index the packer writes beside the list ("<list>.index"). It
// tells, for every file of the list, the SHA-256 of its bytes and, for a file
// packed in chunks, where each chunk lies in the file and in the file's gzip
// member, so a changed file can be rebuilt from the chunks a player already
// has and the few that changed. Its form (UTF-8, each line ending in LF):
//   drel-content-index 1
//   list <SHA-256 of the list it belongs to, 64 lower-case hex digits>
//   file <SHA-256 of the file> <chunk count> <name as in the list>
//   chunk <offset in the file> <length> <offset in the member> <length in the member> <SHA-256 of the chunk>
// with one "file" line per list entry, each followed by its chunk lines in
// order. A file with no chunks is fetched whole. The list line binds the index
// to one list: an index of another release is never used with this one.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct ContentChunk {
    uint64_t offset = 0;        // in the file
    uint32_t length = 0;
    uint32_t memberOffset = 0;  // from the entry's first byte in its package
    uint32_t memberLength = 0;
    std::string sha256;         // 32 bytes
};

struct ContentIndexEntry {
    std::string sha256;                // of the whole file, 32 bytes
    std::vector<ContentChunk> chunks;  // in file order; empty: fetched whole
    uint64_t FileSize() const { return chunks.empty() ? 0 : chunks.back().offset + chunks.back().length; }
    uint32_t MemberEnd() const { return chunks.empty() ? 0 : chunks.back().memberOffset + chunks.back().memberLength; }
};

enum class ContentIndexFault : int32_t {
    None = 0,
    Malformed = 1,  // not an index of the form above, or chunks that do not tile the file and member
    OtherList = 2,  // an index of another list
};

class ContentIndex {
public:
    // Far above the index of any real game (a few MiB per 100 GiB of chunked
    // files), low enough that the 32-bit process can hold what it read.
    static const uint32_t kMaxIndexBytes = 128u * 1024 * 1024;

    // Reads an index; listDigest is the 32-byte SHA-256 of the list in use.
    // On any fault the index stays empty.
    ContentIndexFault Parse(const std::string& bytes, const std::string& listDigest);
    // The entry of a list name, or null.
    const ContentIndexEntry* Find(const std::wstring& name) const;
    bool Empty() const { return entries_.empty(); }

private:
    std::unordered_map<std::wstring, ContentIndexEntry> entries_;
};

// The fault's name, for the trace.
const wchar_t* ContentIndexFaultName(ContentIndexFault fault);
