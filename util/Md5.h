#pragma once
// MD5 (RFC 1321) and the text hash the launcher builds on it.
#include <cstdint>
#include <string>

struct Md5Context {
    uint32_t state[4];
    uint32_t count[2];  // bits fed so far, low word first
    unsigned char buffer[64];
};

void Md5Init(Md5Context* context);
void Md5Update(Md5Context* context, const unsigned char* bytes, uint32_t count);
// Writes the 16-byte digest, then clears the whole context: initialise again before reuse.
void Md5Final(Md5Context* context, unsigned char digest[16]);

// MD5 of the text's thread-ANSI bytes as 32 upper-case hex digits.
std::wstring Md5OfText(const std::wstring& text);
// MD5 of bytes as 32 upper-case hex digits.
std::string Md5OfBytesHex(const std::string& bytes);
