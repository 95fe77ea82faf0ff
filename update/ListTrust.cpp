#include "update/ListTrust.h"

#include <windows.h>

#include "update/FileReplace.h"
#include "util/DebugTrace.h"
#include "util/FileUtils.h"

const wchar_t ListTrust::kSerialFileName[] = L"list_serials.txt";

namespace {

// Unix seconds from FILETIME's 100 ns steps since 1601.
const int64_t kFileTimeUnixEpoch = 116444736000000000LL;
const int64_t kFileTimeStepsPerSecond = 10000000LL;
const size_t kMaxSerialDigits = 18;  // as in a statement: below 2^63
const size_t kKeyIdDigits = 16;      // enough to tell the built-in keys apart

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

struct SerialLine {
    std::string text;      // the line as it was, without its CR LF
    bool counted = false;  // "<serial> <key id> <channel>"; the fields below are set
    int64_t serial = 0;
    std::string keyId;
    std::string channel;
};

bool IsKeyId(const std::string& text) {
    if (text.size() != kKeyIdDigits) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

SerialLine ReadSerialLine(const std::string& line) {
    SerialLine read;
    read.text = line;
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? std::string::npos : line.find(' ', first + 1);
    if (first == 0 || first == std::string::npos || first > kMaxSerialDigits || second == std::string::npos) {
        return read;
    }
    int64_t serial = 0;
    for (size_t i = 0; i < first; ++i) {
        if (line[i] < '0' || line[i] > '9') return read;
        serial = serial * 10 + (line[i] - '0');
    }
    std::string keyId = line.substr(first + 1, second - first - 1);
    std::string channel = line.substr(second + 1);
    if (!IsKeyId(keyId) || !IsValidChannel(channel)) return read;
    read.counted = true;
    read.serial = serial;
    read.keyId = keyId;
    read.channel = channel;
    return read;
}

std::vector<SerialLine> ReadSerialLines(const std::string& bytes) {
    std::vector<SerialLine> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        if (end > at) lines.push_back(ReadSerialLine(bytes.substr(at, end - at)));
        at = end + 2;
    }
    return lines;
}

}  // namespace

void ListTrust::Configure(const std::string& keys, const std::string& channel, const std::wstring& dataSerialFile) {
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
    channel_ = channel;
    dataSerialFile_ = dataSerialFile;
}

ListCheck ListTrust::Check(const std::string& listBytes, const std::string& statementBytes) {
    return CheckAt(listBytes, statementBytes, CurrentUnixTime());
}

ListCheck ListTrust::CheckAgainstRemembered(const std::string& bytes, const std::string& statementBytes, int64_t now,
                                            AcceptedStatement* accepted) const {
    int64_t highest = 0;
    if (!RememberedSerial(&highest)) return ListCheck::SerialUnreadable;
    return CheckListStatement(bytes, statementBytes, publicKeys_, channel_, highest, now, accepted);
}

ListCheck ListTrust::CheckAt(const std::string& listBytes, const std::string& statementBytes, int64_t now) {
    AcceptedStatement accepted;
    ListCheck check = CheckAgainstRemembered(listBytes, statementBytes, now, &accepted);
    if (check != ListCheck::Accepted) return check;
    std::string keyId = accepted.key.substr(0, kKeyIdDigits);
    for (const std::wstring& file : SerialFiles()) {
        // Each copy is brought up to the accepted serial, so a copy that was
        // deleted is made again and one copy alone keeps guarding.
        int64_t inFile = 0;
        if (HighestIn(file, &inFile) && inFile >= accepted.serial) continue;
        // The list is still good; only a later rollback to an older one would
        // go unnoticed, and only while the other copy is lost too.
        if (!RememberSerial(file, keyId, accepted.serial)) DebugTrace(L"资源列表序号保存失败\t" + file);
    }
    return check;
}

ListCheck ListTrust::CheckCompanion(const std::string& bytes, const std::string& statementBytes) {
    AcceptedStatement accepted;
    return CheckAgainstRemembered(bytes, statementBytes, CurrentUnixTime(), &accepted);
}

std::vector<std::wstring> ListTrust::SerialFiles() const {
    std::vector<std::wstring> files;
    for (const std::wstring* file : {&dataSerialFile_, &gameRootSerialFile_}) {
        if (!file->empty()) files.push_back(*file);
    }
    return files;
}

bool ListTrust::RememberedSerial(int64_t* serial) const {
    *serial = 0;
    for (const std::wstring& file : SerialFiles()) {
        int64_t inFile = 0;
        if (!HighestIn(file, &inFile)) return false;
        if (inFile > *serial) *serial = inFile;
    }
    return true;
}

bool ListTrust::HighestIn(const std::wstring& file, int64_t* serial) const {
    *serial = 0;
    std::string bytes;
    if (!ReadIfPresent(file, &bytes)) return false;
    // Every key's serials count: a statement of the other key cannot go back
    // behind what this one brought.
    for (const SerialLine& line : ReadSerialLines(bytes)) {
        if (line.counted && line.channel == channel_ && line.serial > *serial) *serial = line.serial;
    }
    return true;
}

bool ListTrust::RememberSerial(const std::wstring& file, const std::string& keyId, int64_t serial) {
    if (!IsKeyId(keyId) || !IsValidChannel(channel_)) return false;
    std::string bytes;
    // A copy that cannot be read is not overwritten: that would lose its other lines.
    if (!ReadIfPresent(file, &bytes)) return false;
    std::string text;
    for (const SerialLine& line : ReadSerialLines(bytes)) {
        if (!(line.counted && line.keyId == keyId && line.channel == channel_)) text += line.text + "\r\n";
    }
    text += std::to_string(serial) + " " + keyId + " " + channel_ + "\r\n";
    return ReplaceFileBytes(file, text);
}
