#include "update/UpdateTestSupport.h"

#include <zlib.h>

#include <vector>

#include "util/FileUtils.h"
#include "util/Sha256.h"

std::string Gzip(const std::string& data) {
    z_stream stream = {};
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::string();
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    int result = deflate(&stream, Z_FINISH);
    out.resize(result == Z_STREAM_END ? stream.total_out : 0);
    deflateEnd(&stream);
    return out;
}

std::string GzipInChunks(const std::string& data, const std::vector<uint64_t>& chunkEnds, ContentIndexEntry* entry) {
    z_stream stream = {};
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::string();
    std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 64 * (chunkEnds.size() + 1), '\0');
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    entry->chunks.clear();
    entry->sha256 = Sha256Raw(data);
    uint64_t start = 0;
    for (size_t i = 0; i < chunkEnds.size(); ++i) {
        bool last = i + 1 == chunkEnds.size();
        uint32_t memberStart = i == 0 ? 10 : static_cast<uint32_t>(stream.total_out);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + start));
        stream.avail_in = static_cast<uInt>(chunkEnds[i] - start);
        if (deflate(&stream, last ? Z_FINISH : Z_FULL_FLUSH) != (last ? Z_STREAM_END : Z_OK)) return std::string();
        ContentChunk chunk;
        chunk.offset = start;
        chunk.length = static_cast<uint32_t>(chunkEnds[i] - start);
        chunk.memberOffset = memberStart;
        chunk.memberLength = static_cast<uint32_t>(stream.total_out) - memberStart;
        chunk.sha256 = Sha256Raw(data.substr(static_cast<size_t>(start), chunk.length));
        entry->chunks.push_back(chunk);
        start = chunkEnds[i];
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string Sha256Raw(const std::string& bytes) {
    std::string digest;
    Sha256Of(bytes, &digest);
    return digest;
}

std::string Sha256Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : Sha256Raw(bytes)) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

std::string FileBytes(const std::wstring& path) {
    std::string bytes;
    ReadFileBytes(path, &bytes);
    return bytes;
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WaitFor(HANDLE event, DWORD timeoutMs) { return ::WaitForSingleObject(event, timeoutMs) == WAIT_OBJECT_0; }

std::map<std::wstring, std::string> TreeBytes(const std::wstring& folder) {
    std::map<std::wstring, std::string> files;
    std::vector<std::wstring> pending(1, L"");
    while (!pending.empty()) {
        std::wstring relative = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW found;
        HANDLE find = ::FindFirstFileW((folder + relative + L"*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) continue;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                pending.push_back(relative + name + L"\\");
            } else {
                files[relative + name] = FileBytes(folder + relative + name);
            }
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    return files;
}
