#include "update/ChunkDataProcessor.h"

#include "util/DebugTrace.h"

ChunkDataProcessor::ChunkDataProcessor(const DownloadTaskInfo& info, std::shared_ptr<ChunkedFileAssembly> file,
                                       uint32_t chunkIndex)
    : DownloadDataProcessor(info),
      file_(std::move(file)),
      chunkIndex_(chunkIndex),
      // The first chunk's task starts at the member's first byte, so that a
      // file fetched in chunks costs exactly its member: the gzip header is
      // passed by (what the chunks inflate to is checked by their SHA-256).
      headerBytes_(chunkIndex == 0 ? file_->Entry().chunks[0].memberOffset : 0) {}

ChunkDataProcessor::~ChunkDataProcessor() { ReleaseInflater(); }

void ChunkDataProcessor::ReleaseInflater() {
    if (zlibReady_) inflateEnd(&zs_);
    zlibReady_ = false;
    std::string().swap(inflated_);
    produced_ = 0;
    streamEnded_ = false;
}

bool ChunkDataProcessor::Begin(uint32_t) {
    StartAttempt();
    if (attempt_ == Attempt::Receiving) return false;
    if (done_) {
        attempt_ = Attempt::Done;  // a retry of the segment passes this chunk by
        return true;
    }
    if (failedChecks_ >= kChecksBeforeGivingUp) return false;
    badBytes_ = false;
    // The inflater and the buffer come with the chunk's first byte: a segment
    // begins all its chunks at once, but they arrive one after another.
    ReleaseInflater();
    attempt_ = Attempt::Receiving;
    return true;
}

bool ChunkDataProcessor::Write(const void* data, uint32_t count) {
    if (attempt_ != Attempt::Receiving && attempt_ != Attempt::Done) return false;
    if (attempt_ == Attempt::Receiving && !Inflate(data, count)) {
        ++failedChecks_;
        badBytes_ = true;
        DebugTrace(L"资源分块无效\t" + info.name);
        return Fail();
    }
    Add(count);
    if (attempt_ == Attempt::Receiving && written >= info.size) return Complete();
    return true;
}

bool ChunkDataProcessor::Inflate(const void* data, uint32_t count) {
    if (chunkIndex_ == kNoChunk) return count == 0;
    uint32_t header = written < headerBytes_ ? static_cast<uint32_t>(headerBytes_ - written) : 0;
    if (header >= count) return true;
    data = static_cast<const char*>(data) + header;
    count -= header;
    if (!zlibReady_) {
        zs_ = z_stream();
        if (inflateInit2(&zs_, -MAX_WBITS) != Z_OK) return false;
        zlibReady_ = true;
        // One byte more than the chunk: a member that inflates to more is caught.
        inflated_.resize(static_cast<size_t>(file_->Entry().chunks[chunkIndex_].length) + 1);
    }
    // The last chunk's bytes end with the member's trailer after the deflate
    // stream: they are passed by (the SHA-256 covers what matters).
    if (streamEnded_) return true;
    zs_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
    zs_.avail_in = count;
    while (zs_.avail_in > 0) {
        zs_.next_out = reinterpret_cast<Bytef*>(&inflated_[produced_]);
        zs_.avail_out = static_cast<uInt>(inflated_.size() - produced_);
        if (zs_.avail_out == 0) return false;  // more than the chunk's length
        int status = inflate(&zs_, Z_NO_FLUSH);
        produced_ = inflated_.size() - zs_.avail_out;
        if (status == Z_STREAM_END) {
            streamEnded_ = true;
            return true;
        }
        if (status != Z_OK && !(status == Z_BUF_ERROR && zs_.avail_in == 0)) return false;
    }
    return true;
}

bool ChunkDataProcessor::Complete() {
    bool last = false;
    if (chunkIndex_ != kNoChunk) {
        inflated_.resize(produced_);
        if (!file_->WriteChunk(chunkIndex_, inflated_, &last)) {
            ++failedChecks_;
            badBytes_ = true;
            DebugTrace(L"资源分块校验失败\t" + info.name);
            return Fail();
        }
    }
    ReleaseInflater();
    if (!InstallIfLast(last || (chunkIndex_ == kNoChunk && file_->Complete()))) return false;
    done_ = true;
    attempt_ = Attempt::Done;
    return true;
}

bool ChunkDataProcessor::InstallIfLast(bool last) {
    if (!last || file_->Abandoned()) return true;
    bool installedNow = false;
    if (!file_->Install(&installedNow)) {
        // A whole file that fails its check fails again: the file is fetched whole.
        failedChecks_ = kChecksBeforeGivingUp;
        return Fail();
    }
    if (installedNow && onInstalled) onInstalled();
    return true;
}

bool ChunkDataProcessor::Fail() {
    ReleaseInflater();
    attempt_ = Attempt::Failed;
    return false;
}

bool ChunkDataProcessor::End() {
    // An empty task has no Write: its end is its completion.
    if (attempt_ == Attempt::Receiving && chunkIndex_ == kNoChunk) Complete();
    if (attempt_ == Attempt::Receiving) Fail();  // the chunk's bytes did not all arrive
    bool ok = attempt_ == Attempt::Done;
    attempt_ = Attempt::Idle;
    return ok || file_->Abandoned();
}

bool ChunkDataProcessor::GetContent(std::string*) { return true; }

FailureCause ChunkDataProcessor::Failure() const {
    return badBytes_ ? FailureCause(FailureKind::ContentCheck, 0, info.name) : FailureCause();
}
