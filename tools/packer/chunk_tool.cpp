// The content packer's chunk cutter, built on the packing host from the same
// util/ContentChunker.cpp the launcher compiles, so both cut at the same places.
//
//   chunk_tool FILE...   one line per file, in order: its chunk ends, decimal,
//                        separated by one blank (an empty line for an empty file)
//   chunk_tool --stream  reads records from standard input, each an 8-byte
//                        little-endian length and then that many bytes, and
//                        answers every record with one such line, flushed at once
//
// In --stream mode a record's line is written only after the whole record has
// been read, so a caller that writes a record and then reads its line never
// waits on a full pipe. Exit code 0 when all went well; otherwise 1 (a file
// that cannot be read, a record cut short) or 2 (usage), with the reason on
// standard error.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "util/ContentChunker.h"

namespace {

const size_t kReadBlock = 1 << 20;

bool WriteEndsLine(const std::vector<uint64_t>& ends) {
    std::string line;
    line.reserve(ends.size() * 8 + 1);
    for (size_t i = 0; i < ends.size(); ++i) {
        if (i > 0) line += ' ';
        line += std::to_string(ends[i]);
    }
    line += '\n';
    return std::fwrite(line.data(), 1, line.size(), stdout) == line.size() && std::fflush(stdout) == 0;
}

// Feeds up to length bytes of in (all of it when length is unbounded) to a fresh
// chunker; false when reading fails or in ends before length bytes.
bool ChunkStream(std::FILE* in, uint64_t length, bool bounded, std::vector<char>* buffer,
                 std::vector<uint64_t>* ends) {
    ContentChunker chunker;
    ends->clear();
    uint64_t left = length;
    while (!bounded || left > 0) {
        size_t want = buffer->size();
        if (bounded && left < want) want = static_cast<size_t>(left);
        size_t got = std::fread(buffer->data(), 1, want, in);
        chunker.Feed(buffer->data(), got, ends);
        if (bounded) left -= got;
        if (got < want) {
            if (std::ferror(in) || bounded) return false;
            break;
        }
    }
    chunker.Finish(ends);
    return true;
}

int ChunkFiles(int count, char** paths, std::vector<char>* buffer) {
    std::vector<uint64_t> ends;
    for (int i = 0; i < count; ++i) {
        std::FILE* file = std::fopen(paths[i], "rb");
        if (!file) {
            std::fprintf(stderr, "chunk_tool: %s: %s\n", paths[i], std::strerror(errno));
            return 1;
        }
        const bool read = ChunkStream(file, 0, false, buffer, &ends);
        std::fclose(file);
        if (!read) {
            std::fprintf(stderr, "chunk_tool: %s: read failed\n", paths[i]);
            return 1;
        }
        if (!WriteEndsLine(ends)) return 1;
    }
    return 0;
}

int ChunkRecords(std::vector<char>* buffer) {
    std::vector<uint64_t> ends;
    for (;;) {
        unsigned char header[8];
        size_t got = std::fread(header, 1, sizeof header, stdin);
        if (got == 0 && std::feof(stdin)) return 0;
        if (got != sizeof header) {
            std::fprintf(stderr, "chunk_tool: a record's length is cut short\n");
            return 1;
        }
        uint64_t length = 0;
        for (int i = 7; i >= 0; --i) length = (length << 8) | header[i];
        if (!ChunkStream(stdin, length, true, buffer, &ends)) {
            std::fprintf(stderr, "chunk_tool: a record of %llu bytes is cut short\n",
                         static_cast<unsigned long long>(length));
            return 1;
        }
        if (!WriteEndsLine(ends)) return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char> buffer(kReadBlock);
    if (argc == 2 && std::strcmp(argv[1], "--stream") == 0) return ChunkRecords(&buffer);
    if (argc >= 2 && argv[1][0] != '-') return ChunkFiles(argc - 1, argv + 1, &buffer);
    std::fprintf(stderr, "usage: chunk_tool FILE... | chunk_tool --stream\n");
    return 2;
}
