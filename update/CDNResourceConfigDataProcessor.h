#pragma once
// Collects the CDN list of a run in memory; the text processor does all of it.
#include "download/DownloadTextProcessor.h"

class CDNResourceConfigDataProcessor : public DownloadTextProcessor {
public:
    explicit CDNResourceConfigDataProcessor(const DownloadTaskInfo& info) : DownloadTextProcessor(info) {}
};
