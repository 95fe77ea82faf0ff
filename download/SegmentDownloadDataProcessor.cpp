#include "download/SegmentDownloadDataProcessor.h"

#include <algorithm>
#include <new>

#include "util/DebugTrace.h"

namespace {

// One step of one file's processor. Memory that runs out while a file is
// written (its buffers, the inflater's window) fails that file's step, and so
// the attempt, like any refusal; the worker goes on with its next attempt
// instead of taking the process down with it.
template <typename Step>
bool Guarded(const DownloadDataProcessor* p, Step step) {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        DebugTrace(L"内存不足\t" + p->info.name);
        return false;
    }
}

// Positions of a file inside its segment: [start, end).
int64_t FileStart(const DownloadDataProcessor* p, int64_t rangeStart) { return p->info.offset - rangeStart; }
int64_t FileEnd(const DownloadDataProcessor* p, int64_t rangeStart) {
    return FileStart(p, rangeStart) + static_cast<int64_t>(p->info.size);
}

}  // namespace

SegmentDownloadDataProcessor::SegmentDownloadDataProcessor(
    const SegmentDownloadTaskInfo& segment, const std::vector<DownloadDataProcessor*>& processors)
    : segment(segment), processors(processors) {}

bool SegmentDownloadDataProcessor::Refused(DownloadDataProcessor* p) {
    if (!refused_) refused_ = p;
    return false;
}

FailureCause SegmentDownloadDataProcessor::Failure() const {
    if (!refused_) return FailureCause();
    FailureCause cause = refused_->Failure();
    if (cause.file.empty()) cause.file = refused_->info.name;
    return cause;
}

bool SegmentDownloadDataProcessor::Begin(uint32_t contentLength) {
    received = 0;
    currentProcessor = nullptr;
    refused_ = nullptr;
    bool ok = true;
    for (DownloadDataProcessor* p : processors) {
        if (!Guarded(p, [&] { return p->Begin(contentLength); })) ok = Refused(p);
    }
    return ok;
}

bool SegmentDownloadDataProcessor::End() {
    received = 0;
    currentProcessor = nullptr;
    // Every processor that was begun is ended, even after another one failed:
    // a processor left un-ended would keep its file open into the next attempt.
    bool ok = true;
    for (DownloadDataProcessor* p : processors) {
        if (!Guarded(p, [&] { return p->End(); })) ok = Refused(p);
    }
    return ok;
}

DownloadDataProcessor* SegmentDownloadDataProcessor::FindCovering(int64_t pos) {
    const int64_t base = segment.rangeStart;
    if (currentProcessor && FileStart(currentProcessor, base) <= pos && pos < FileEnd(currentProcessor, base)) {
        return currentProcessor;
    }
    for (DownloadDataProcessor* p : processors) {
        if (FileStart(p, base) <= pos && pos < FileEnd(p, base)) {
            currentProcessor = p;
            return p;
        }
    }
    return nullptr;
}

int64_t SegmentDownloadDataProcessor::NextCoveredAfter(int64_t pos) const {
    int64_t next = -1;
    for (const DownloadDataProcessor* p : processors) {
        if (p->info.size == 0) continue;
        int64_t start = FileStart(p, segment.rangeStart);
        if (start > pos && (next < 0 || start < next)) next = start;
    }
    return next;
}

bool SegmentDownloadDataProcessor::Write(const void* data, uint32_t count) {
    const char* bytes = static_cast<const char*>(data);
    bool ok = true;
    if (segment.rangeStart < 0) {
        for (DownloadDataProcessor* p : processors) {
            if (!Guarded(p, [&] { return p->Write(bytes, count); })) ok = Refused(p);
        }
        return ok;
    }
    uint32_t done = 0;
    while (done < count) {
        const uint32_t left = count - done;
        DownloadDataProcessor* p = FindCovering(received);
        uint32_t n;
        if (p) {
            int64_t fileLeft = FileEnd(p, segment.rangeStart) - received;
            n = static_cast<uint32_t>(std::min<int64_t>(left, fileLeft));
            if (!Guarded(p, [&] { return p->Write(bytes + done, n); })) ok = Refused(p);
        } else {
            // Nobody wants these bytes (a file without a processor, or bytes beyond
            // the range): skip them, but only up to the next file that has a processor.
            int64_t next = NextCoveredAfter(received);
            n = next < 0 ? left : static_cast<uint32_t>(std::min<int64_t>(left, next - received));
        }
        received += n;
        done += n;
    }
    return ok;
}

bool SegmentDownloadDataProcessor::Retries(int32_t result) const {
    for (const DownloadDataProcessor* p : processors) {
        if (!p->Retries(result)) return false;
    }
    return true;
}
