#include "update/ListSignature.h"

#include <windows.h>
#include <bcrypt.h>

#include "afx/ScopedWin.h"
#include "util/Sha256.h"

namespace {

const char kHeaderLine[] = "drel-list-statement 2";
const char kVersionOneHeaderLine[] = "drel-list-statement 1";
const size_t kMaxDecimalDigits = 18;  // below 2^63: no overflow, no sign
const size_t kPointBytes = 64;        // X and Y of a P-256 point
const size_t kSignatureBytes = 64;    // r and s

// Lower-case hex only: the packer writes nothing else, so nothing else is taken.
bool HexToBytes(const std::string& hex, size_t byteCount, std::string* out) {
    if (hex.size() != byteCount * 2) return false;
    std::string bytes;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (size_t j = i; j < i + 2; ++j) {
            char c = hex[j];
            int digit;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else {
                return false;
            }
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<char>(value));
    }
    *out = bytes;
    return true;
}

bool ParseDecimal(const std::string& text, int64_t* out) {
    if (text.empty() || text.size() > kMaxDecimalDigits) return false;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    *out = value;
    return true;
}

// Takes "<field> <value>\n" from bytes at *at; false unless the line is exactly that.
bool TakeLine(const std::string& bytes, size_t* at, const char* field, std::string* value) {
    size_t end = bytes.find('\n', *at);
    if (end == std::string::npos) return false;
    std::string line = bytes.substr(*at, end - *at);
    std::string prefix = std::string(field) + " ";
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    *value = line.substr(prefix.size());
    *at = end + 1;
    return true;
}

bool VerifyWithKey(BCRYPT_ALG_HANDLE ecdsa, const std::string& publicKey, const std::string& digest,
                   const std::string& signature) {
    std::string point;
    if (!HexToBytes(publicKey, kPointBytes, &point)) return false;
    std::string blob(sizeof(BCRYPT_ECCKEY_BLOB), '\0');
    BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, kPointBytes / 2};
    blob.replace(0, sizeof(header), reinterpret_cast<const char*>(&header), sizeof(header));
    blob += point;
    BCRYPT_KEY_HANDLE imported = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptImportKeyPair(ecdsa, nullptr, BCRYPT_ECCPUBLIC_BLOB, &imported,
                                              reinterpret_cast<PUCHAR>(&blob[0]), static_cast<ULONG>(blob.size()),
                                              0))) {
        return false;
    }
    ScopedBcryptKey key(imported);
    std::string digestCopy = digest;
    std::string signatureCopy = signature;
    return BCRYPT_SUCCESS(::BCryptVerifySignature(key.Get(), nullptr, reinterpret_cast<PUCHAR>(&digestCopy[0]),
                                                  static_cast<ULONG>(digestCopy.size()),
                                                  reinterpret_cast<PUCHAR>(&signatureCopy[0]),
                                                  static_cast<ULONG>(signatureCopy.size()), 0));
}

}  // namespace

bool IsValidChannel(const std::string& text) {
    if (text.empty() || text.size() > kMaxChannelLength) return false;
    for (char c : text) {
        if (c < '!' || c > '~') return false;
    }
    return true;
}

bool ParseListStatement(const std::string& bytes, ListStatement* out) {
    const std::string header = std::string(kHeaderLine) + "\n";
    if (bytes.compare(0, header.size(), header) != 0) return false;
    size_t at = header.size();
    std::string digestHex, serialText, expiresText, signatureHex;
    ListStatement parsed;
    if (!TakeLine(bytes, &at, "channel", &parsed.channel) || !TakeLine(bytes, &at, "sha256", &digestHex) ||
        !TakeLine(bytes, &at, "serial", &serialText) || !TakeLine(bytes, &at, "expires", &expiresText)) {
        return false;
    }
    parsed.signedLines = bytes.substr(0, at);
    if (!TakeLine(bytes, &at, "signature", &signatureHex) || at != bytes.size()) return false;
    if (!IsValidChannel(parsed.channel) || !HexToBytes(digestHex, 32, &parsed.listDigest) ||
        !ParseDecimal(serialText, &parsed.serial) || !ParseDecimal(expiresText, &parsed.expires) ||
        !HexToBytes(signatureHex, kSignatureBytes, &parsed.signature)) {
        return false;
    }
    *out = parsed;
    return true;
}

bool FindSigningKey(const ListStatement& statement, const std::vector<std::string>& publicKeys, std::string* key) {
    if (publicKeys.empty() || statement.signature.size() != kSignatureBytes) return false;
    std::string digest;
    if (!Sha256Of(statement.signedLines, &digest)) return false;
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&opened, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) {
        return false;
    }
    ScopedBcryptAlgorithm ecdsa(opened);
    for (const std::string& candidate : publicKeys) {
        if (VerifyWithKey(ecdsa.Get(), candidate, digest, statement.signature)) {
            *key = candidate;
            return true;
        }
    }
    return false;
}

ListCheck CheckListStatement(const std::string& listBytes, const std::string& statementBytes,
                             const std::vector<std::string>& publicKeys, const std::string& channel,
                             int64_t highestSerial, int64_t now, AcceptedStatement* accepted) {
    if (statementBytes.empty()) return ListCheck::MissingStatement;
    const std::string versionOne = std::string(kVersionOneHeaderLine) + "\n";
    if (statementBytes.compare(0, versionOne.size(), versionOne) == 0) return ListCheck::NoChannel;
    ListStatement statement;
    if (!ParseListStatement(statementBytes, &statement)) return ListCheck::Malformed;
    std::string key;
    if (!FindSigningKey(statement, publicKeys, &key)) return ListCheck::BadSignature;
    if (statement.channel != channel) return ListCheck::OtherChannel;
    std::string digest;
    if (!ListDigestOf(listBytes, &digest) || digest != statement.listDigest) return ListCheck::ListChanged;
    if (statement.serial < highestSerial) return ListCheck::RolledBack;
    if (now >= statement.expires) return ListCheck::Expired;
    accepted->serial = statement.serial;
    accepted->key = key;
    return ListCheck::Accepted;
}

bool ListDigestOf(const std::string& listBytes, std::string* digest) {
    const std::string bom = "\xEF\xBB\xBF";
    size_t skip = listBytes.compare(0, bom.size(), bom) == 0 ? bom.size() : 0;
    return Sha256Of(listBytes.data() + skip, listBytes.size() - skip, digest);
}

std::wstring CompanionUrlFor(const std::wstring& listUrl, const wchar_t* suffix) {
    size_t pathEnd = listUrl.find_first_of(L"?#");
    if (pathEnd == std::wstring::npos) return listUrl + suffix;
    return listUrl.substr(0, pathEnd) + suffix + listUrl.substr(pathEnd);
}

std::wstring StatementUrlFor(const std::wstring& listUrl) { return CompanionUrlFor(listUrl, L".sig"); }

const wchar_t* ListCheckName(ListCheck check) {
    switch (check) {
        case ListCheck::Accepted: return L"accepted";
        case ListCheck::MissingStatement: return L"no statement";
        case ListCheck::Malformed: return L"malformed statement";
        case ListCheck::BadSignature: return L"signature not by a built-in key";
        case ListCheck::ListChanged: return L"list differs from its statement";
        case ListCheck::RolledBack: return L"serial below one accepted before";
        case ListCheck::Expired: return L"statement expired";
        case ListCheck::SerialUnreadable: return L"accepted serials unreadable";
        case ListCheck::OtherChannel: return L"statement for another channel";
        case ListCheck::NoChannel: return L"version-1 statement names no channel";
    }
    return L"?";
}
