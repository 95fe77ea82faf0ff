#pragma once
// The resource lists: the CDN list, version.txt and launcher_manifest.txt share
// one line syntax, name=md5[=remoteFolder[=offset[=size[=category]]]], and are
// held in maps ordered by the names' UTF-16 code units.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One entry of a list. (The type's name is spelled so throughout the system.)
struct ResoureConfigInfo {
    std::wstring name;          // path relative to its root; the key of every map
    std::wstring md5;           // version tag, compared as text only
    std::wstring remoteFolder;  // CDN folder holding the package with the entry's bytes
    int64_t offset = 0;         // first byte of the entry inside that package
    uint32_t size = 0;          // compressed bytes inside the package
    std::wstring category;      // "launcher" (any case) marks a launcher file
};

// Ordinal, case-sensitive order: std::wstring compares 16-bit code units.
using ResourceInfoMap = std::map<std::wstring, ResoureConfigInfo>;

enum class ResourceChangeKind : int32_t {
    None = 0,
    Added = 1,     // only in the CDN list
    Removed = 2,   // only in the local list
    Modified = 3,  // in both, with different md5 texts
};

class ChunkedFileAssembly;

// One change found by comparing a local map with a CDN map; also the input of
// a download batch. The default item asks for no byte range (offset -1).
struct ResourceUpdateItem {
    std::wstring name;
    std::wstring localMd5;
    std::wstring cdnMd5;
    ResourceChangeKind change = ResourceChangeKind::None;
    std::wstring remoteFolder;
    int64_t offset = -1;
    uint32_t size = 0;
    // A file of this name is on the disk although the local list does not name
    // it (a failed batch took its entry out, or the player put it there): it is
    // replaced through the temporary name like an installed file, never
    // overwritten in place.
    bool fileOnDisk = false;
    // From the content index, when there is one: the new file's SHA-256 (32
    // bytes), checked besides its MD5; and, for a file rebuilt from chunks,
    // what it already has and what it still needs.
    std::string sha256;
    std::shared_ptr<ChunkedFileAssembly> chunked;
};

// Appends the entries of a list text in line order. A blank line ends the list;
// a line with fewer than two fields is skipped.
void ParseResourceList(const std::wstring& text, std::vector<ResoureConfigInfo>* out);
// Appends "name=md5\r\n" per entry; false (nothing appended) for an empty list.
bool FormatResourceList(const std::vector<ResoureConfigInfo>& entries, std::wstring* out);
// The same for a map, in map order.
bool FormatResourceList(const ResourceInfoMap& map, std::wstring* out);

// Inserts an entry unless its name is already there: the first entry of a name
// stays, and the trace gets tracePrefix followed by the name. True when inserted.
bool InsertResourceEntry(ResourceInfoMap* map, const ResoureConfigInfo& entry, const wchar_t* tracePrefix);
// The same, taking the entry's texts instead of copying them.
bool InsertResourceEntry(ResourceInfoMap* map, ResoureConfigInfo&& entry, const wchar_t* tracePrefix);

// Whether the category marks a launcher file ("launcher", compared without case).
bool IsLauncherCategory(const std::wstring& category);
