#pragma once
// Collects the CDN list of a run, or its statement, in memory; the text
// processor does all of it.
#include "download/DownloadTextProcessor.h"

class CDNResourceConfigDataProcessor : public DownloadTextProcessor {
public:
    // Far above any real list (100,000 entries are a few MiB), and low enough
    // that the 32-bit process still has room to parse what it took.
    static const uint32_t kMaxListBytes = 256u * 1024 * 1024;
    // A statement is six short lines: anything near this is no statement, and
    // the network must not make the launcher hold a list's worth of it.
    static const uint32_t kMaxStatementBytes = 64u * 1024;

    CDNResourceConfigDataProcessor(const DownloadTaskInfo& info, uint32_t maxBytes)
        : DownloadTextProcessor(info, maxBytes) {}

    // For a file the update can do without (the content index and its
    // statement): one attempt, whatever its outcome, so it never holds the
    // update for the engine's attempts and their pauses.
    bool optional = false;
    bool Retries(int32_t result) const override { return !optional && DownloadTextProcessor::Retries(result); }
};
