#pragma once
// Collects a whole answer in memory (text answers, the CDN list).
#include "download/DownloadDataProcessor.h"

class DownloadTextProcessor : public DownloadDataProcessor {
public:
    explicit DownloadTextProcessor(const DownloadTaskInfo& info) : DownloadDataProcessor(info) {}

    // Empties the text and reserves 16 MiB, whatever the content length.
    bool Begin(uint32_t contentLength) override;
    bool End() override { return true; }
    bool Write(const void* data, uint32_t count) override;
    // The bytes received since the last Begin, without a leading UTF-8 byte-order mark.
    bool GetContent(std::string* out) override;

protected:
    std::string text;
};
