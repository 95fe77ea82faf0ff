#pragma once
// Receives one chunk of a file rebuilt from chunks (update/ChunkedFileAssembly.h):
// the chunk's bytes inside the file's gzip member are raw deflate that ends
// at a full flush, so they inflate on their own. The inflated chunk is held
// in memory (a chunk is at most ContentChunker::kMaxChunk bytes) and handed to
// the assembly, which checks its SHA-256 before writing it. The processor that
// brings a file's last missing chunk installs the file.
//
// A task without a chunk (kNoChunk, an empty range) only installs a file
// whose chunks were all found on the disk.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <zlib.h>

#include "download/DownloadDataProcessor.h"
#include "update/ChunkedFileAssembly.h"
#include "update/ReceivedBytes.h"

class ChunkDataProcessor : public DownloadDataProcessor, public ReceivedBytes {
public:
    static const uint32_t kNoChunk = 0xFFFFFFFFu;
    // A chunk whose bytes fail their check this often is not asked for again:
    // Begin refuses, and the file is fetched whole instead.
    static const int32_t kChecksBeforeGivingUp = 2;

    ChunkDataProcessor(const DownloadTaskInfo& info, std::shared_ptr<ChunkedFileAssembly> file, uint32_t chunkIndex);
    ~ChunkDataProcessor() override;

    bool Begin(uint32_t contentLength) override;
    bool Write(const void* data, uint32_t count) override;
    // True when the chunk is written (or the file abandoned for a whole fetch)
    // and, for the processor that completed the file, the file is installed.
    bool End() override;
    // A chunk has no content of its own to give.
    bool GetContent(std::string* out) override;
    // Written after its check (or, for a task without a chunk, installed): a
    // paused segment does not fetch it again.
    bool IsKept() const override { return done_; }
    // Bytes that did not inflate or failed their SHA-256 in the last attempt:
    // the host's fault, so the chunk may come from another one.
    FailureCause Failure() const override;

    // Told when this processor has installed the file.
    std::function<void()> onInstalled;

private:
    enum class Attempt { Idle, Receiving, Done, Failed };
    bool Inflate(const void* data, uint32_t count);
    bool Complete();
    bool InstallIfLast(bool last);
    bool Fail();
    void ReleaseInflater();

    std::shared_ptr<ChunkedFileAssembly> file_;
    const uint32_t chunkIndex_;
    const uint32_t headerBytes_;  // member bytes before the chunk's own
    Attempt attempt_ = Attempt::Idle;
    int32_t failedChecks_ = 0;
    bool badBytes_ = false;  // in the attempt under way
    bool done_ = false;
    z_stream zs_ = {};
    bool zlibReady_ = false;
    bool streamEnded_ = false;
    std::string inflated_;
    size_t produced_ = 0;
};
