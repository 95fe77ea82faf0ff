#pragma once
// MD5 over Windows' own CNG provider, and the text hash the launcher builds on it.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "util/CngHash.h"

// One MD5 computation fed in pieces. Not copyable; one thread at a time.
class Md5Hasher {
public:
    // False when CNG refused the bytes: the digest is then worthless.
    bool Update(const void* bytes, size_t count) { return hasher_.Update(bytes, count); }
    // The digest as 32 upper-case hex digits; false (out untouched) after any failure.
    // The hasher starts over afterwards.
    bool FinishHex(std::string* out);

private:
    CngHasher hasher_{HashAlgorithm::Md5};
};

// MD5 of the text's thread-ANSI bytes as 32 upper-case hex digits.
std::wstring Md5OfText(const std::wstring& text);
// MD5 of bytes as 32 upper-case hex digits (empty if CNG failed).
std::string Md5OfBytesHex(const std::string& bytes);
// MD5 of a file's bytes as 32 upper-case hex digits, read in large sequential
// pieces; onBytes (may be empty) is told how many bytes each piece had, and
// stops the reading by giving false. False when the file cannot be opened or
// read, or the reading was stopped.
bool Md5OfFileHex(const std::wstring& path, std::string* out, const std::function<bool(uint64_t)>& onBytes);

// Whether two hex digests are the same, without regard to case.
bool SameMd5Hex(const std::string& a, const std::wstring& b);
