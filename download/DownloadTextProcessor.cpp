#include "download/DownloadTextProcessor.h"

#include <algorithm>
#include <new>

namespace {
// Answers up to this size are collected without reallocation.
const size_t kTextReserve = 16 * 1024 * 1024;
}

bool DownloadTextProcessor::Begin(uint32_t contentLength) {
    text.clear();
    if (contentLength > maxBytes_) return false;
    // A 32-bit process may not find the room even below the limit: that is a
    // refused answer too, never an exception on the worker thread.
    try {
        text.reserve(std::min<size_t>(kTextReserve, maxBytes_));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool DownloadTextProcessor::Write(const void* data, uint32_t count) {
    // text never holds more than maxBytes_.
    if (count > maxBytes_ - text.size()) return false;
    try {
        text.append(static_cast<const char*>(data), count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void DownloadTextProcessor::TakeContent(std::string* out) {
    out->swap(text);
    std::string().swap(text);
    if (out->size() >= 3 && out->compare(0, 3, "\xEF\xBB\xBF") == 0) out->erase(0, 3);
}

bool DownloadTextProcessor::GetContent(std::string* out) {
    size_t skip = 0;
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) skip = 3;
    out->assign(text, skip, std::string::npos);
    return true;
}
