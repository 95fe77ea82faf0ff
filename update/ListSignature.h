#pragma once
// The statement that vouches for a CDN list. The operator's packer writes it
// beside the list as "<list>.sig": five lines of ASCII, each ending in LF,
//   drel-list-statement 1
//   sha256 <SHA-256 of the list's bytes, 64 lower-case hex digits>
//   serial <decimal, at most 18 digits>
//   expires <decimal Unix time from which the list is refused, at most 18 digits>
//   signature <ECDSA P-256 over SHA-256 of the four lines above: r then s, 128 hex digits>
// and nothing else. A public key is its curve point, X then Y, 128 hex digits.
#include <cstdint>
#include <string>
#include <vector>

enum class ListCheck : int32_t {
    Accepted = 0,
    MissingStatement = 1,  // no statement arrived
    Malformed = 2,         // not a statement of the form above
    BadSignature = 3,      // none of the keys verifies it
    ListChanged = 4,       // the list's SHA-256 is not the one stated
    RolledBack = 5,        // the serial is below the highest accepted before
    Expired = 6,           // the expiry time has come
    SerialUnreadable = 7,  // the serials accepted before cannot be read
};

struct ListStatement {
    std::string signedLines;  // the first four lines, as they were signed
    std::string listDigest;   // 32 bytes
    int64_t serial = 0;
    int64_t expires = 0;
    std::string signature;    // r and s, 32 bytes each
};

// False when the bytes are not exactly a statement of the form above.
bool ParseListStatement(const std::string& bytes, ListStatement* out);
// Whether one of the keys (128 hex digits each) verifies the signature. A key
// that does not import verifies nothing; no keys, nothing.
bool IsSignedByOneOf(const ListStatement& statement, const std::vector<std::string>& publicKeys);
// The whole check, in this order: form, signature, the list's digest (a leading
// UTF-8 byte-order mark is not hashed), serial not below highestSerial, now
// (Unix seconds) before the expiry. On acceptance *serial gets the statement's serial.
ListCheck CheckListStatement(const std::string& listBytes, const std::string& statementBytes,
                             const std::vector<std::string>& publicKeys, int64_t highestSerial, int64_t now,
                             int64_t* serial);
// The statement's URL: ".sig" added to the path of the list's URL, before any query.
std::wstring StatementUrlFor(const std::wstring& listUrl);
// The outcome's name, for the trace.
const wchar_t* ListCheckName(ListCheck check);
