#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "util/ContentChunker.h"

namespace {

struct ChunkVector {
    const char* name;
    const char* input;
    uint64_t seed;
    uint64_t period;
    uint64_t length;
    std::vector<uint64_t> ends;
};

// Shared with the packer's tests, which check the same ends through the host tool.
const ChunkVector kVectors[] = {
#include "content_chunker_vectors.inc"
};

uint64_t NextSplitmix64(uint64_t* state) {
    *state += 0x9E3779B97F4A7C15ull;
    uint64_t z = *state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The splitmix64 stream from seed, 8 bytes little-endian per output.
std::string Splitmix64Bytes(uint64_t seed, size_t length) {
    std::string bytes;
    bytes.reserve(length + 8);
    while (bytes.size() < length) {
        uint64_t value = NextSplitmix64(&seed);
        for (int i = 0; i < 8; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    bytes.resize(length);
    return bytes;
}

std::string VectorInput(const ChunkVector& vector) {
    const size_t length = static_cast<size_t>(vector.length);
    if (std::strcmp(vector.input, "zeros") == 0) return std::string(length, '\0');
    EXPECT_STREQ("splitmix64", vector.input) << vector.name;
    if (vector.period == 0) return Splitmix64Bytes(vector.seed, length);
    const std::string block = Splitmix64Bytes(vector.seed, static_cast<size_t>(vector.period));
    std::string bytes;
    while (bytes.size() < length) bytes += block;
    bytes.resize(length);
    return bytes;
}

// The ends when the stream is fed in pieces of the given sizes, taken in turn.
std::vector<uint64_t> EndsFedInPieces(const std::string& bytes, const std::vector<size_t>& pieceSizes,
                                      ContentChunker* chunker) {
    std::vector<uint64_t> ends;
    size_t at = 0;
    for (size_t turn = 0; at < bytes.size(); ++turn) {
        const size_t piece = std::min(pieceSizes[turn % pieceSizes.size()], bytes.size() - at);
        chunker->Feed(bytes.data() + at, piece, &ends);
        at += piece;
    }
    chunker->Finish(&ends);
    return ends;
}

}  // namespace

TEST(ContentChunker, SharedVectorsGiveTheirEnds) {
    for (const ChunkVector& vector : kVectors) {
        const std::string bytes = VectorInput(vector);
        EXPECT_EQ(vector.ends, ContentChunkEnds(bytes.data(), bytes.size())) << vector.name;
    }
}

TEST(ContentChunker, AnySplitIntoFeedsGivesTheSameEnds) {
    const std::vector<std::vector<size_t>> splits = {
        {1}, {7}, {4093}, {ContentChunker::kMinChunk}, {ContentChunker::kMaxChunk + 1},
        {1, 65535, 3, 262143, 16385}, {1 << 20},
    };
    for (const ChunkVector& vector : kVectors) {
        const std::string bytes = VectorInput(vector);
        for (const auto& split : splits) {
            ContentChunker chunker;
            EXPECT_EQ(vector.ends, EndsFedInPieces(bytes, split, &chunker))
                << vector.name << ", first piece " << split[0];
        }
    }
}

TEST(ContentChunker, ResetAndFinishStartANewStreamAtOffsetZero) {
    const std::string bytes = Splitmix64Bytes(2, 700000);
    const std::vector<uint64_t> expected = ContentChunkEnds(bytes.data(), bytes.size());
    ASSERT_GT(expected.size(), 3u);

    ContentChunker chunker;
    std::vector<uint64_t> dropped;
    chunker.Feed(bytes.data() + 12345, 300000, &dropped);  // a stream abandoned midway
    chunker.Reset();
    EXPECT_EQ(expected, EndsFedInPieces(bytes, {99999}, &chunker));
    // Finish leaves the chunker as Reset does: the same stream again gives the same ends.
    EXPECT_EQ(expected, EndsFedInPieces(bytes, {99999}, &chunker));

    std::vector<uint64_t> none;
    chunker.Finish(&none);
    EXPECT_TRUE(none.empty());
}

TEST(ContentChunker, AnEditInTheMiddleChangesOnlyTheChunksAroundIt) {
    const std::string original = Splitmix64Bytes(11, 4 << 20);
    const std::vector<uint64_t> before = ContentChunkEnds(original.data(), original.size());
    ASSERT_GT(before.size(), 40u);
    const size_t editAt = original.size() / 2;
    const struct { const char* what; std::string bytes; int64_t shift; } edits[] = {
        {"one byte changed", std::string(original).replace(editAt, 1, 1, static_cast<char>(original[editAt] ^ 1)), 0},
        {"100 bytes inserted", std::string(original).insert(editAt, 100, 'x'), 100},
        {"5000 bytes removed", std::string(original).erase(editAt, 5000), -5000},
    };
    for (const auto& edit : edits) {
        const std::vector<uint64_t> after = ContentChunkEnds(edit.bytes.data(), edit.bytes.size());
        size_t changedAfterEdit = 0;
        for (uint64_t end : before) {
            if (end <= editAt) {
                // Every boundary before the edit stays where it was.
                EXPECT_TRUE(std::binary_search(after.begin(), after.end(), end)) << edit.what << " at " << end;
            } else if (!std::binary_search(after.begin(), after.end(), end + edit.shift)) {
                ++changedAfterEdit;
            }
        }
        // The chunk with the edit ends elsewhere, and perhaps the next; the rest resynchronise.
        EXPECT_LE(changedAfterEdit, 2u) << edit.what;
    }
}
