#include "util/ContentChunker.h"

#include <algorithm>
#include <array>

const uint32_t ContentChunker::kMinChunk;
const uint32_t ContentChunker::kAverageChunk;
const uint32_t ContentChunker::kMaxChunk;

namespace {

const uint64_t kGearSeed = 0x6472656C2D636463ull;  // "drel-cdc"
// Before the average length a cut needs 18 zero bits, after it 14: chunks
// cluster around the average instead of spreading out geometrically.
const uint64_t kHardMask = 0xFFFFC00000000000ull;  // top 18 bits
const uint64_t kEasyMask = 0xFFFC000000000000ull;  // top 14 bits

constexpr std::array<uint64_t, 256> MakeGearTable() {
    std::array<uint64_t, 256> table{};
    uint64_t state = kGearSeed;
    for (size_t i = 0; i < table.size(); ++i) {
        state += 0x9E3779B97F4A7C15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        table[i] = z ^ (z >> 31);
    }
    return table;
}

constexpr std::array<uint64_t, 256> kGear = MakeGearTable();

// Hashes bytes [0, count) into *hash and gives how many were taken: up to and
// including the first byte after which the masked bits are zero, or count.
inline size_t ScanForCut(const uint8_t* bytes, size_t count, uint64_t mask, uint64_t* hash, bool* cut) {
    uint64_t h = *hash;
    for (size_t i = 0; i < count; ++i) {
        h = (h << 1) + kGear[bytes[i]];
        if ((h & mask) == 0) {
            *hash = h;
            *cut = true;
            return i + 1;
        }
    }
    *hash = h;
    *cut = false;
    return count;
}

}  // namespace

ContentChunker::ContentChunker() {
    Reset();
}

void ContentChunker::Reset() {
    chunkStart_ = 0;
    chunkLength_ = 0;
    hash_ = 0;
}

void ContentChunker::Feed(const void* data, size_t count, std::vector<uint64_t>* chunkEnds) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    while (count > 0) {
        size_t taken;
        bool cut = false;
        if (chunkLength_ < kMinChunk) {
            taken = std::min<size_t>(count, kMinChunk - chunkLength_);
        } else {
            const bool beforeAverage = chunkLength_ < kAverageChunk;
            const uint32_t phaseEnd = beforeAverage ? kAverageChunk : kMaxChunk;
            taken = ScanForCut(bytes, std::min<size_t>(count, phaseEnd - chunkLength_),
                               beforeAverage ? kHardMask : kEasyMask, &hash_, &cut);
        }
        bytes += taken;
        count -= taken;
        chunkLength_ += static_cast<uint32_t>(taken);
        if (cut || chunkLength_ == kMaxChunk) {
            chunkStart_ += chunkLength_;
            chunkEnds->push_back(chunkStart_);
            chunkLength_ = 0;
            hash_ = 0;
        }
    }
}

void ContentChunker::Finish(std::vector<uint64_t>* chunkEnds) {
    if (chunkLength_ > 0) chunkEnds->push_back(chunkStart_ + chunkLength_);
    Reset();
}

std::vector<uint64_t> ContentChunkEnds(const void* data, size_t count) {
    std::vector<uint64_t> ends;
    ContentChunker chunker;
    chunker.Feed(data, count, &ends);
    chunker.Finish(&ends);
    return ends;
}
