#include "update/ContentIndex.h"

#include "util/ContentChunker.h"
#include "util/TextEncoding.h"

namespace {

const char kHeaderLine[] = "drel-content-index 1";
// A gzip member starts with at least its ten-byte header.
const uint32_t kGzipHeaderBytes = 10;
// Deflate never grows a chunk by more than a few bytes per stored block; this
// only bounds what one chunk can make the launcher hold.
const uint32_t kMaxMemberChunk = ContentChunker::kMaxChunk * 2;

// Splits "a b c" at single blanks into at most `count` fields, the last one
// taking the rest of the line (a name may hold blanks).
bool SplitFields(const std::string& line, size_t count, std::vector<std::string>* fields) {
    fields->clear();
    size_t at = 0;
    while (fields->size() + 1 < count) {
        size_t blank = line.find(' ', at);
        if (blank == std::string::npos || blank == at) return false;
        fields->push_back(line.substr(at, blank - at));
        at = blank + 1;
    }
    if (at >= line.size()) return false;
    fields->push_back(line.substr(at));
    return true;
}

bool ReadDecimal(const std::string& text, uint64_t limit, uint64_t* value) {
    if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
    uint64_t read = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        read = read * 10 + static_cast<uint64_t>(c - '0');
    }
    if (read > limit) return false;
    *value = read;
    return true;
}

// 64 lower-case hex digits to 32 bytes.
bool ReadDigest(const std::string& hex, std::string* digest) {
    if (hex.size() != 64) return false;
    digest->assign(32, '\0');
    for (size_t i = 0; i < 64; ++i) {
        char c = hex[i];
        int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (nibble < 0) return false;
        (*digest)[i / 2] = static_cast<char>(((*digest)[i / 2] << 4) | nibble);
    }
    return true;
}

// UTF-8 without control characters (a list name never holds one).
bool IsPlainName(const std::string& text) {
    bool ascii = true;
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20) return false;
        ascii = ascii && byte < 0x80;
    }
    return ascii || IsUtf8Text(text);
}

class LineReader {
public:
    explicit LineReader(const std::string& bytes) : bytes_(bytes) {}
    bool Next(std::string* line) {
        if (at_ >= bytes_.size()) return false;
        size_t end = bytes_.find('\n', at_);
        if (end == std::string::npos) return false;  // every line ends in LF: a cut index is no index
        *line = bytes_.substr(at_, end - at_);
        at_ = end + 1;
        return true;
    }
    bool AtEnd() const { return at_ == bytes_.size(); }

private:
    const std::string& bytes_;
    size_t at_ = 0;
};

bool ReadChunk(const std::string& line, ContentChunk* chunk) {
    std::vector<std::string> fields;
    uint64_t offset, length, memberOffset, memberLength;
    if (!SplitFields(line, 6, &fields) || fields[0] != "chunk" ||
        !ReadDecimal(fields[1], UINT64_MAX / 2, &offset) ||
        !ReadDecimal(fields[2], ContentChunker::kMaxChunk, &length) || length == 0 ||
        !ReadDecimal(fields[3], UINT32_MAX, &memberOffset) ||
        !ReadDecimal(fields[4], kMaxMemberChunk, &memberLength) || memberLength == 0 ||
        !ReadDigest(fields[5], &chunk->sha256)) {
        return false;
    }
    chunk->offset = offset;
    chunk->length = static_cast<uint32_t>(length);
    chunk->memberOffset = static_cast<uint32_t>(memberOffset);
    chunk->memberLength = static_cast<uint32_t>(memberLength);
    return true;
}

// The chunks tile the file from 0 and the member from its header on, in order.
bool ChunksTile(const std::vector<ContentChunk>& chunks) {
    uint64_t fileEnd = 0;
    uint64_t memberEnd = chunks.empty() ? 0 : chunks.front().memberOffset;
    if (!chunks.empty() && memberEnd < kGzipHeaderBytes) return false;
    for (const ContentChunk& chunk : chunks) {
        if (chunk.offset != fileEnd || chunk.memberOffset != memberEnd) return false;
        fileEnd += chunk.length;
        memberEnd += chunk.memberLength;
        if (memberEnd > UINT32_MAX) return false;
    }
    return true;
}

}  // namespace

ContentIndexFault ContentIndex::Parse(const std::string& bytes, const std::string& listDigest) {
    entries_.clear();
    std::unordered_map<std::wstring, ContentIndexEntry> read;
    LineReader lines(bytes);
    std::string line;
    std::string named;
    if (bytes.size() > kMaxIndexBytes || !lines.Next(&line) || line != kHeaderLine || !lines.Next(&line) ||
        line.compare(0, 5, "list ") != 0 || !ReadDigest(line.substr(5), &named)) {
        return ContentIndexFault::Malformed;
    }
    if (named != listDigest) return ContentIndexFault::OtherList;
    std::vector<std::string> fields;
    while (lines.Next(&line)) {
        uint64_t count;
        ContentIndexEntry entry;
        std::wstring name;
        if (!SplitFields(line, 4, &fields) || fields[0] != "file" || !ReadDigest(fields[1], &entry.sha256) ||
            !ReadDecimal(fields[2], bytes.size() / 16, &count) || !IsPlainName(fields[3]) ||
            !Utf8ToText(fields[3].c_str(), &name) || name.empty()) {
            return ContentIndexFault::Malformed;
        }
        entry.chunks.resize(static_cast<size_t>(count));
        for (ContentChunk& chunk : entry.chunks) {
            if (!lines.Next(&line) || !ReadChunk(line, &chunk)) return ContentIndexFault::Malformed;
        }
        if (!ChunksTile(entry.chunks) || !read.emplace(name, std::move(entry)).second) {
            return ContentIndexFault::Malformed;
        }
    }
    if (!lines.AtEnd()) return ContentIndexFault::Malformed;
    entries_.swap(read);
    return ContentIndexFault::None;
}

const ContentIndexEntry* ContentIndex::Find(const std::wstring& name) const {
    auto found = entries_.find(name);
    return found == entries_.end() ? nullptr : &found->second;
}

const wchar_t* ContentIndexFaultName(ContentIndexFault fault) {
    switch (fault) {
        case ContentIndexFault::None: return L"accepted";
        case ContentIndexFault::Malformed: return L"malformed index";
        case ContentIndexFault::OtherList: return L"index of another list";
    }
    return L"?";
}
