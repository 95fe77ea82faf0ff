#pragma once
// Content-defined chunking of a byte stream, the same on the packer's host (the
// packer cuts every large file with tools/packer/chunk_tool.cpp, built from
// this source) and in the launcher (which cuts the player's installed copy):
// the two must agree on every boundary, so the rules below are fixed forever.
// Changing any of them makes every published chunk unusable for delta updates.
//
// FastCDC with normalized chunking and a gear hash:
//
// - Gear table: gear[i] for i = 0..255 is the (i+1)-th output of splitmix64
//   started from the state 0x6472656C2D636463 ("drel-cdc" in ASCII). One step:
//     state += 0x9E3779B97F4A7C15;
//     z = state;
//     z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
//     z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
//     output = z ^ (z >> 31);                      (all arithmetic modulo 2^64)
// - Each chunk starts with h = 0. Its first kMinChunk (16 KiB) bytes are not
//   hashed. From the byte at index kMinChunk of the chunk on, every byte b
//   updates h = (h << 1) + gear[b] (modulo 2^64); each byte's gear value has
//   left the hash 64 bytes later, so a decision depends on the last 64 bytes.
// - After the byte at index k (0-based within the chunk) has been hashed, the
//   chunk would be n = k + 1 bytes long. It ends after that byte when
//     n <= kAverageChunk and the top 18 bits of h are zero
//       (h & 0xFFFFC00000000000 == 0), or
//     n >  kAverageChunk and the top 14 bits of h are zero
//       (h & 0xFFFC000000000000 == 0), or
//     n == kMaxChunk (256 KiB).
//   So every chunk but the last is kMinChunk + 1 to kMaxChunk bytes long; the
//   last one is whatever remains (possibly shorter than kMinChunk, never empty).
// - The next chunk starts right after the end, with h = 0 again.
//
// A chunk end is an offset counted from the stream's first byte: the offset of
// the first byte after the chunk. The last end is the stream's length.
// Plain C++ only (no Windows types): it builds with the host's g++ too.
#include <cstddef>
#include <cstdint>
#include <vector>

class ContentChunker {
public:
    static const uint32_t kMinChunk = 16 * 1024;
    static const uint32_t kAverageChunk = 64 * 1024;
    static const uint32_t kMaxChunk = 256 * 1024;

    ContentChunker();

    // Feeds the next count bytes of the stream. Appends to *chunkEnds the end
    // offset (counted from the first byte fed since construction or Reset) of
    // every chunk that ends within these bytes. The same ends for any split of
    // the stream into Feed calls.
    void Feed(const void* data, size_t count, std::vector<uint64_t>* chunkEnds);
    // The stream is over: appends the end of the last chunk when bytes remain
    // after the last end. The chunker then starts over as after Reset.
    void Finish(std::vector<uint64_t>* chunkEnds);
    // Starts a new stream at offset 0.
    void Reset();

private:
    uint64_t chunkStart_;    // stream offset of the current chunk's first byte
    uint32_t chunkLength_;   // bytes of the current chunk seen so far, below kMaxChunk
    uint64_t hash_;          // the gear hash over the current chunk's bytes from kMinChunk on
};

// Convenience: the chunk ends of a whole buffer (Feed + Finish).
std::vector<uint64_t> ContentChunkEnds(const void* data, size_t count);
