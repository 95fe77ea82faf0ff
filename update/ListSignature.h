#pragma once
// The statement that vouches for a CDN list. The operator's packer writes it
// beside the list as "<list>.sig": six lines of ASCII, each ending in LF,
//   drel-list-statement 2
//   channel <the launcher's package name, as its notice request sends it>
//   sha256 <SHA-256 of the list's bytes, 64 lower-case hex digits>
//   serial <decimal, at most 18 digits>
//   expires <decimal Unix time from which the list is refused, at most 18 digits>
//   signature <ECDSA P-256 over SHA-256 of the five lines above: r then s, 128 hex digits>
// and nothing else. The channel binds the statement to one launcher: a list
// signed for another package is no list for this one. A channel is 1 to
// kMaxChannelLength characters of printable ASCII without blanks ('!' to '~').
// A public key is its curve point, X then Y, 128 hex digits.
//
// Version 1 (the same lines without the channel) named no channel; it is
// recognised only to be refused with its own outcome, so the trace tells an
// operator that the list still has to be signed again.
#include <cstddef>
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
    OtherChannel = 8,      // signed, but for another launcher's package
    NoChannel = 9,         // a version-1 statement, which names no channel
};

const size_t kMaxChannelLength = 128;

struct ListStatement {
    std::string signedLines;  // the first five lines, as they were signed
    std::string channel;
    std::string listDigest;   // 32 bytes
    int64_t serial = 0;
    int64_t expires = 0;
    std::string signature;    // r and s, 32 bytes each
};

// What an accepted statement tells the one who remembers serials.
struct AcceptedStatement {
    int64_t serial = 0;
    std::string key;  // the built-in key that verified it, as it was given
};

// Whether text is a channel as defined above.
bool IsValidChannel(const std::string& text);
// False when the bytes are not exactly a version-2 statement of the form above.
bool ParseListStatement(const std::string& bytes, ListStatement* out);
// The key (of 128 hex digits each) that verifies the signature, as it was given;
// false when none does. A key that does not import verifies nothing.
bool FindSigningKey(const ListStatement& statement, const std::vector<std::string>& publicKeys, std::string* key);
// The whole check, in this order: form (a version-1 statement gives NoChannel),
// signature, channel, the list's digest (a leading UTF-8 byte-order mark is
// not hashed), serial not below highestSerial, now (Unix seconds) before the
// expiry. On acceptance *accepted gets the serial and the key; otherwise it is
// left alone.
ListCheck CheckListStatement(const std::string& listBytes, const std::string& statementBytes,
                             const std::vector<std::string>& publicKeys, const std::string& channel,
                             int64_t highestSerial, int64_t now, AcceptedStatement* accepted);
// The SHA-256 (32 bytes) a statement or a content index names a list by: of
// its bytes without a leading UTF-8 byte-order mark. False when CNG refuses.
bool ListDigestOf(const std::string& listBytes, std::string* digest);
// The URL of a file published beside the list: suffix added to the path of
// the list's URL, before any query.
std::wstring CompanionUrlFor(const std::wstring& listUrl, const wchar_t* suffix);
// The statement's URL: ".sig" added to the path of the list's URL, before any query.
std::wstring StatementUrlFor(const std::wstring& listUrl);
// The outcome's name, for the trace.
const wchar_t* ListCheckName(ListCheck check);
