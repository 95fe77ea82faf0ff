#pragma once
// A processor for the engine's tests: keeps the bytes of the last attempt,
// counts every call, and fails Begin, Write or End when told to.
#include <windows.h>
#include <new>
#include <string>

#include "download/DownloadDataProcessor.h"

class RecordingProcessor : public DownloadDataProcessor {
public:
    RecordingProcessor() = default;
    explicit RecordingProcessor(const DownloadTaskInfo& info) : DownloadDataProcessor(info) {}

    bool Begin(uint32_t contentLength) override {
        ++begins;
        lastContentLength = contentLength;
        bytes.clear();
        return Outcome(!failBegin);
    }
    bool End() override {
        ++ends;
        return Outcome(!failEnd);
    }
    bool Write(const void* data, uint32_t count) override {
        ++writes;
        if (count > largestWrite) largestWrite = count;
        bytes.append(static_cast<const char*>(data), count);
        if (writeEvent) ::SetEvent(writeEvent);
        return Outcome(!(failWrite && writes >= failWrite));
    }
    bool GetContent(std::string* out) override {
        *out = bytes;
        return true;
    }
    bool Retries(int32_t result) const override {
        return !(missingIsAnswer && result == 404) && DownloadDataProcessor::Retries(result);
    }
    // Stands for a verified file: every byte of it arrived.
    bool IsKept() const override { return info.size > 0 && bytes.size() == info.size; }

    // Forgets the calls and failures of earlier requests.
    void Reset() {
        failBegin = failEnd = missingIsAnswer = false;
        failWrite = 0;
        begins = ends = writes = 0;
        largestWrite = lastContentLength = 0;
        bytes.clear();
    }

    bool failBegin = false;
    bool failEnd = false;
    bool missingIsAnswer = false;  // a 404 is not worth another attempt
    bool failByAllocation = false;  // a failure throws std::bad_alloc instead of returning false
    int failWrite = 0;  // the Write call (counted from 1) from which on Write fails; 0: never
    HANDLE writeEvent = nullptr;

    int begins = 0;
    int ends = 0;
    int writes = 0;
    uint32_t largestWrite = 0;
    uint32_t lastContentLength = 0;
    std::string bytes;

private:
    bool Outcome(bool ok) const {
        if (!ok && failByAllocation) throw std::bad_alloc();
        return ok;
    }
};
