#include "download/DownloadTextProcessor.h"

namespace {
// Answers up to this size are collected without reallocation.
const size_t kTextReserve = 16 * 1024 * 1024;
}

bool DownloadTextProcessor::Begin(uint32_t contentLength) {
    text.clear();
    text.reserve(kTextReserve);
    return true;
}

bool DownloadTextProcessor::Write(const void* data, uint32_t count) {
    text.append(static_cast<const char*>(data), count);
    return true;
}

bool DownloadTextProcessor::GetContent(std::string* out) {
    size_t skip = 0;
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) skip = 3;
    out->assign(text, skip, std::string::npos);
    return true;
}
