// Rebuilding a changed file from chunks: what the disk has is used, only the
// missing chunks are fetched, each is checked before it is written, and the
// installed file is replaced only by a whole file with the expected hashes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/TestEnv.h"
#include "update/ChunkDataProcessor.h"
#include "update/ChunkedFileAssembly.h"
#include "update/DiskSpaceGuard.h"
#include "update/UpdateTestSupport.h"
#include "util/ContentChunker.h"
#include "util/FileUtils.h"
#include "util/Md5.h"

namespace {

// Bytes that compress a little and cut into many chunks.
std::string SampleBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    uint32_t state = seed;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<char>((state >> 16) % 64 + 32);
    }
    return bytes;
}

struct NewRelease {
    std::string bytes;
    std::string member;
    ContentIndexEntry entry;
};

NewRelease Pack(const std::string& bytes) {
    NewRelease release;
    release.bytes = bytes;
    release.member = GzipInChunks(bytes, ContentChunkEnds(bytes.data(), bytes.size()), &release.entry);
    return release;
}

std::wstring Md5Of(const std::string& bytes) {
    std::string hex = Md5OfBytesHex(bytes);
    return std::wstring(hex.begin(), hex.end());
}

// Feeds one task's member bytes through a processor as the engine would: Begin, pieces, End.
bool Deliver(ChunkDataProcessor* processor, const std::string& bytes) {
    if (!processor->Begin(static_cast<uint32_t>(bytes.size()))) return false;
    bool ok = true;
    for (size_t at = 0; at < bytes.size() && ok; at += 1024) {
        ok = processor->Write(bytes.data() + at, static_cast<uint32_t>(std::min<size_t>(1024, bytes.size() - at)));
    }
    return processor->End() && ok;
}

DownloadTaskInfo ChunkTask(const NewRelease& release, uint32_t index) {
    DownloadTaskInfo task(L"http://127.0.0.1/p", L"a.bin", 2, L"res1", 0, 0);
    task.offset = index == 0 ? 0 : release.entry.chunks[index].memberOffset;
    task.size = release.entry.chunks[index].memberOffset + release.entry.chunks[index].memberLength -
                static_cast<uint32_t>(task.offset);
    return task;
}

std::string MemberBytesOf(const NewRelease& release, uint32_t index) {
    DownloadTaskInfo task = ChunkTask(release, index);
    return release.member.substr(static_cast<size_t>(task.offset), task.size);
}

class ChunkedFileAssemblyTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = FreshTestFolder(L"chunked-file");
        target = folder + L"a.bin";
        part = target + L".drelpart";
    }
    std::wstring folder, target, part;
};

}  // namespace

TEST_F(ChunkedFileAssemblyTest, ChangedFileIsRebuiltFromTheInstalledOneAndTheMissingChunks) {
    std::string old = SampleBytes(700 * 1024, 1);
    std::string changed = old.substr(0, 200000) + "an insertion" + old.substr(200000, 300000) + old.substr(510000);
    changed[650000] ^= 1;
    NewRelease release = Pack(changed);
    ASSERT_FALSE(release.member.empty());
    ASSERT_TRUE(WriteFileBytes(target, old));

    std::shared_ptr<ChunkedFileAssembly> file(new ChunkedFileAssembly(release.entry, target, Md5Of(changed)));
    ASSERT_TRUE(file->Prepare(nullptr));
    // Only chunks the old file does not hold are fetched.
    std::vector<std::string> oldChunks;
    std::vector<uint64_t> oldEnds = ContentChunkEnds(old.data(), old.size());
    for (size_t i = 0, start = 0; i < oldEnds.size(); start = static_cast<size_t>(oldEnds[i++])) {
        oldChunks.push_back(Sha256Raw(old.substr(start, static_cast<size_t>(oldEnds[i]) - start)));
    }
    std::vector<uint32_t> expectedMissing;
    for (uint32_t i = 0; i < release.entry.chunks.size(); ++i) {
        bool had = false;
        for (const std::string& h : oldChunks) had |= h == release.entry.chunks[i].sha256;
        if (!had) expectedMissing.push_back(i);
    }
    EXPECT_EQ(expectedMissing, file->MissingChunks());
    ASSERT_FALSE(file->MissingChunks().empty());
    EXPECT_LT(file->MissingChunks().size(), release.entry.chunks.size() / 2);
    EXPECT_EQ(old, FileBytes(target));  // untouched until the new file is whole

    int installed = 0;
    int64_t progress = 0;
    for (uint32_t index : file->MissingChunks()) {
        ChunkDataProcessor processor(ChunkTask(release, index), file, index);
        processor.onInstalled = [&installed] { ++installed; };
        processor.onProgress = [&progress](int64_t n) { progress += n; };
        ASSERT_TRUE(Deliver(&processor, MemberBytesOf(release, index))) << index;
    }
    EXPECT_EQ(1, installed);
    EXPECT_EQ(static_cast<int64_t>(file->MissingMemberBytes()), progress);
    EXPECT_EQ(changed, FileBytes(target));
    EXPECT_FALSE(FileExists(part));
}

TEST_F(ChunkedFileAssemblyTest, WhatAKilledRunWroteIsKeptAndAFileWithEverythingOnDiskInstallsWithoutBytes) {
    std::string bytes = SampleBytes(500 * 1024, 2);
    NewRelease release = Pack(bytes);
    ASSERT_GE(release.entry.chunks.size(), 4u);
    // A killed run had written the first two chunks; the rest is garbage or missing.
    uint64_t kept = release.entry.chunks[2].offset;
    ASSERT_TRUE(WriteFileBytes(part, bytes.substr(0, static_cast<size_t>(kept)) + std::string(1000, 'x')));

    std::shared_ptr<ChunkedFileAssembly> file(new ChunkedFileAssembly(release.entry, target, Md5Of(bytes)));
    ASSERT_TRUE(file->Prepare(nullptr));
    ASSERT_FALSE(file->MissingChunks().empty());
    EXPECT_EQ(2u, file->MissingChunks().front());
    for (uint32_t index : file->MissingChunks()) {
        ChunkDataProcessor processor(ChunkTask(release, index), file, index);
        ASSERT_TRUE(Deliver(&processor, MemberBytesOf(release, index)));
    }
    EXPECT_EQ(bytes, FileBytes(target));

    // The same file again, now installed in full: nothing is missing, and the
    // task without bytes installs it (here: puts the same bytes back).
    ASSERT_TRUE(WriteFileBytes(part, "stale"));
    std::shared_ptr<ChunkedFileAssembly> again(new ChunkedFileAssembly(release.entry, target, Md5Of(bytes)));
    ASSERT_TRUE(again->Prepare(nullptr));
    EXPECT_TRUE(again->MissingChunks().empty());
    DownloadTaskInfo install(L"http://127.0.0.1/p", L"a.bin", 2, L"res1", 0, 0);
    ChunkDataProcessor installer(install, again, ChunkDataProcessor::kNoChunk);
    int installed = 0;
    installer.onInstalled = [&installed] { ++installed; };
    EXPECT_TRUE(Deliver(&installer, std::string()));
    EXPECT_EQ(1, installed);
    EXPECT_EQ(bytes, FileBytes(target));
}

// A closing window stops the preparation through its callback: it fails at
// once, and what it had copied stays for the next run.
TEST_F(ChunkedFileAssemblyTest, AStoppedPreparationFailsAndKeepsWhatItCopied) {
    std::string bytes = SampleBytes(9 * 1024 * 1024, 3);
    NewRelease release = Pack(bytes);
    ASSERT_TRUE(WriteFileBytes(target, bytes));  // everything is on the disk already
    std::shared_ptr<ChunkedFileAssembly> file(new ChunkedFileAssembly(release.entry, target, Md5Of(bytes)));
    int pieces = 0;
    EXPECT_FALSE(file->Prepare([&pieces](uint64_t) { return ++pieces < 2; }));  // stops after one piece
    EXPECT_EQ(2, pieces);

    ASSERT_TRUE(::DeleteFileW(target.c_str()));
    std::shared_ptr<ChunkedFileAssembly> next(new ChunkedFileAssembly(release.entry, target, Md5Of(bytes)));
    ASSERT_TRUE(next->Prepare(nullptr));
    ASSERT_FALSE(next->MissingChunks().empty());
    EXPECT_GT(next->MissingChunks().front(), 0u);  // the first piece's chunks were kept
    EXPECT_LT(next->MissingChunks().size(), release.entry.chunks.size());
}

// The temporary file grows to the new file's size before a byte is fetched:
// only when the drive keeps its floor after all of that growth.
TEST_F(ChunkedFileAssemblyTest, ATemporaryFileGrowsOnlyWhenTheDriveKeepsItsFloor) {
    std::string old = SampleBytes(600 * 1024, 4);
    std::string changed = old;
    changed[300000] ^= 1;
    NewRelease release = Pack(changed);
    ASSERT_TRUE(WriteFileBytes(target, old));
    ASSERT_TRUE(WriteFileBytes(part, changed.substr(0, 1000)));  // a killed run's start
    const uint64_t floor = 1 << 20;
    const uint64_t growth = changed.size() - 1000;
    const struct { uint64_t freeBytes; bool prepared; } cases[] = {
        {floor + growth - 1, false},
        {floor + growth, true},
    };
    for (const auto& c : cases) {
        uint64_t freeBytes = c.freeBytes;
        DiskSpaceGuard space(folder, floor, [freeBytes](const std::wstring&, uint64_t* out) {
            *out = freeBytes;
            return true;
        });
        std::shared_ptr<ChunkedFileAssembly> file(new ChunkedFileAssembly(release.entry, target, Md5Of(changed)));
        EXPECT_EQ(c.prepared, file->Prepare(nullptr, &space)) << c.freeBytes;
        if (!c.prepared) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_DISK_FULL), ::GetLastError());
            EXPECT_EQ(1000u, FileBytes(part).size());  // not grown
        } else {
            EXPECT_EQ(changed.size(), FileBytes(part).size());
        }
        EXPECT_EQ(old, FileBytes(target));
    }
}

TEST_F(ChunkedFileAssemblyTest, AChunkWithWrongBytesIsNeverWrittenAndIsNotAskedForAThirdTime) {
    std::string old = SampleBytes(300 * 1024, 3);
    std::string bytes = SampleBytes(300 * 1024, 4);
    NewRelease release = Pack(bytes);
    ASSERT_TRUE(WriteFileBytes(target, old));
    std::shared_ptr<ChunkedFileAssembly> file(new ChunkedFileAssembly(release.entry, target, Md5Of(bytes)));
    ASSERT_TRUE(file->Prepare(nullptr));
    uint32_t index = file->MissingChunks().front();
    std::string damaged = MemberBytesOf(release, index);
    damaged[damaged.size() / 2] ^= 0x20;
    ChunkDataProcessor processor(ChunkTask(release, index), file, index);
    EXPECT_FALSE(Deliver(&processor, damaged));
    EXPECT_FALSE(Deliver(&processor, damaged));
    EXPECT_FALSE(processor.Begin(0));  // given up: the file is fetched whole instead
    EXPECT_EQ(old, FileBytes(target));
    // Bytes of another chunk are refused by their hash too, even though they inflate.
    uint32_t other = file->MissingChunks().back();
    ASSERT_NE(index, other);
    DownloadTaskInfo task = ChunkTask(release, other);
    ChunkDataProcessor mislabelled(task, file, index);
    EXPECT_FALSE(Deliver(&mislabelled, MemberBytesOf(release, other)));
    EXPECT_EQ(old, FileBytes(target));
}

TEST_F(ChunkedFileAssemblyTest, AWholeFileThatMissesItsMd5ReplacesNothing) {
    std::string bytes = SampleBytes(200 * 1024, 5);
    NewRelease release = Pack(bytes);
    ASSERT_TRUE(WriteFileBytes(target, "installed"));
    std::shared_ptr<ChunkedFileAssembly> file(
        new ChunkedFileAssembly(release.entry, target, L"00000000000000000000000000000000"));
    ASSERT_TRUE(file->Prepare(nullptr));
    bool allDelivered = true;
    for (uint32_t index : file->MissingChunks()) {
        ChunkDataProcessor processor(ChunkTask(release, index), file, index);
        allDelivered = Deliver(&processor, MemberBytesOf(release, index)) && allDelivered;
    }
    EXPECT_FALSE(allDelivered);  // the last one could not install the file
    EXPECT_EQ("installed", FileBytes(target));
    EXPECT_FALSE(FileExists(part));
}

TEST_F(ChunkedFileAssemblyTest, AFirstInstallMakesItsFolderAndCostsExactlyTheMember) {
    std::string bytes = SampleBytes(400 * 1024, 6);
    NewRelease release = Pack(bytes);
    std::wstring deeper = folder + L"new\\deeper\\a.bin";
    std::shared_ptr<ChunkedFileAssembly> file(new ChunkedFileAssembly(release.entry, deeper, Md5Of(bytes)));
    ASSERT_TRUE(file->Prepare(nullptr));
    EXPECT_EQ(release.entry.chunks.size(), file->MissingChunks().size());
    EXPECT_EQ(release.member.size(), file->MissingMemberBytes());
    for (uint32_t index : file->MissingChunks()) {
        ChunkDataProcessor processor(ChunkTask(release, index), file, index);
        ASSERT_TRUE(Deliver(&processor, MemberBytesOf(release, index)));
    }
    EXPECT_EQ(bytes, FileBytes(deeper));
}
