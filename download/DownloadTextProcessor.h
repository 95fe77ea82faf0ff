#pragma once
// Collects a whole answer in memory (text answers, the CDN list), up to a
// limit its user sets: an answer without end must never fill the process.
#include "download/DownloadDataProcessor.h"

class DownloadTextProcessor : public DownloadDataProcessor {
public:
    // maxBytes: the largest answer taken. A longer one is refused (Begin when
    // its Content-Length says so, otherwise the Write that would pass the
    // limit), which fails the attempt like any refused body.
    DownloadTextProcessor(const DownloadTaskInfo& info, uint32_t maxBytes)
        : DownloadDataProcessor(info), maxBytes_(maxBytes) {}

    // Empties the text and reserves up to 16 MiB (no more than the limit).
    bool Begin(uint32_t contentLength) override;
    bool End() override { return true; }
    bool Write(const void* data, uint32_t count) override;
    // The bytes received since the last Begin, without a leading UTF-8 byte-order mark.
    bool GetContent(std::string* out) override;
    // The same, handed over rather than copied: the processor holds nothing after.
    void TakeContent(std::string* out);
    // A refused answer is too large for what it should be.
    FailureCause Failure() const override { return FailureCause(FailureKind::BadAnswer, 0); }

protected:
    std::string text;

private:
    uint32_t maxBytes_;
};
