#pragma once
// Collects the CDN list of a run in memory; the text processor does all of it.
#include "download/DownloadTextProcessor.h"

class CDNResourceConfigDataProcessor : public DownloadTextProcessor {
public:
    // Far above any real list (100,000 entries are a few MiB), and low enough
    // that the 32-bit process still has room to parse what it took.
    static const uint32_t kMaxListBytes = 256u * 1024 * 1024;

    explicit CDNResourceConfigDataProcessor(const DownloadTaskInfo& info)
        : DownloadTextProcessor(info, kMaxListBytes) {}
};
