#include "update/ListTrust.h"

#include <windows.h>

#include "update/FileReplace.h"
#include "util/DebugTrace.h"
#include "util/FileUtils.h"
#include "util/TextEncoding.h"

namespace {

// Unix seconds from FILETIME's 100 ns steps since 1601.
const int64_t kFileTimeUnixEpoch = 116444736000000000LL;
const int64_t kFileTimeStepsPerSecond = 10000000LL;

int64_t CurrentUnixTime() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    int64_t steps = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return (steps - kFileTimeUnixEpoch) / kFileTimeStepsPerSecond;
}

// The file's bytes, empty when there is no file; false when it exists but cannot be read.
bool ReadIfPresent(const std::wstring& path, std::string* bytes) {
    bytes->clear();
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    return ReadFileBytes(path, bytes);
}

// The lines of the serial file as (serial, url) pairs; lines that do not parse are dropped.
std::vector<std::pair<int64_t, std::string>> ParseSerialLines(const std::string& bytes) {
    std::vector<std::pair<int64_t, std::string>> entries;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(at, end - at);
        at = end + 2;
        size_t blank = line.find(' ');
        if (blank == 0 || blank == std::string::npos || blank > 18 || blank + 1 == line.size()) continue;
        int64_t serial = 0;
        bool digits = true;
        for (size_t i = 0; i < blank; ++i) {
            if (line[i] < '0' || line[i] > '9') digits = false;
            serial = serial * 10 + (line[i] - '0');
        }
        if (digits) entries.push_back({serial, line.substr(blank + 1)});
    }
    return entries;
}

}  // namespace

void ListTrust::Configure(const std::string& keys, const std::wstring& serialFile) {
    publicKeys_.clear();
    size_t at = 0;
    while (at <= keys.size()) {
        size_t end = keys.find(';', at);
        if (end == std::string::npos) end = keys.size();
        // Kept as written: a key that does not import verifies nothing, so a
        // damaged key refuses lists rather than letting them through.
        if (end > at) publicKeys_.push_back(keys.substr(at, end - at));
        at = end + 1;
    }
    serialFile_ = serialFile;
}

ListCheck ListTrust::Check(const std::wstring& listUrl, const std::string& listBytes,
                           const std::string& statementBytes) {
    return CheckAt(listUrl, listBytes, statementBytes, CurrentUnixTime());
}

ListCheck ListTrust::CheckAt(const std::wstring& listUrl, const std::string& listBytes,
                             const std::string& statementBytes, int64_t now) {
    int64_t highest = 0;
    if (!RememberedSerial(listUrl, &highest)) return ListCheck::SerialUnreadable;
    int64_t serial = 0;
    ListCheck check = CheckListStatement(listBytes, statementBytes, publicKeys_, highest, now, &serial);
    if (check == ListCheck::Accepted && serial > highest && !RememberSerial(listUrl, serial)) {
        // The list is still good; only a later rollback to an older one would go unnoticed.
        DebugTrace(L"资源列表序号保存失败\t" + serialFile_);
    }
    return check;
}

bool ListTrust::RememberedSerial(const std::wstring& listUrl, int64_t* serial) const {
    *serial = 0;
    std::string bytes;
    if (serialFile_.empty()) return true;
    if (!ReadIfPresent(serialFile_, &bytes)) return false;
    std::string url = TextToUtf8String(listUrl);
    for (const auto& entry : ParseSerialLines(bytes)) {
        if (entry.second == url && entry.first > *serial) *serial = entry.first;
    }
    return true;
}

bool ListTrust::RememberSerial(const std::wstring& listUrl, int64_t serial) {
    std::string url = TextToUtf8String(listUrl);
    if (serialFile_.empty() || url.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return false;
    std::string bytes;
    if (!ReadIfPresent(serialFile_, &bytes)) return false;
    std::string text;
    for (const auto& entry : ParseSerialLines(bytes)) {
        if (entry.second != url) text += std::to_string(entry.first) + " " + entry.second + "\r\n";
    }
    text += std::to_string(serial) + " " + url + "\r\n";
    return ReplaceFileBytes(serialFile_, text);
}
