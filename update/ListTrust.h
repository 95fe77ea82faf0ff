#pragma once
// What the launcher requires of a CDN list before it acts on it. With the
// public keys the executable was built with, every list needs a statement
// (update/ListSignature.h) that one of the keys signed, that states the list's
// SHA-256, that has not expired, and whose serial is not below the highest
// accepted before for the same list URL. Those serials are remembered in one
// file in the data folder, one "<serial> <url>" line (UTF-8, CR LF) per URL,
// replaced as a whole so a crash never leaves half of it. Without keys, lists
// are taken as they come.
#include <cstdint>
#include <string>
#include <vector>

#include "update/ListSignature.h"

class ListTrust {
public:
    // keys: the built-in public keys, separated by ';' (empty: none);
    // serialFile: where accepted serials are remembered.
    void Configure(const std::string& keys, const std::wstring& serialFile);
    // True when lists must come with a statement.
    bool Required() const { return !publicKeys_.empty(); }

    // The check of a list fetched from listUrl (without the cache-busting
    // query) and its statement (empty when none arrived), at the current time.
    // An accepted serial above the one remembered is remembered.
    ListCheck Check(const std::wstring& listUrl, const std::string& listBytes, const std::string& statementBytes);
    // The same at a given Unix time.
    ListCheck CheckAt(const std::wstring& listUrl, const std::string& listBytes, const std::string& statementBytes,
                      int64_t now);
    // The highest serial accepted for listUrl, 0 when none; false when the file
    // exists but cannot be read.
    bool RememberedSerial(const std::wstring& listUrl, int64_t* serial) const;

private:
    bool RememberSerial(const std::wstring& listUrl, int64_t serial);

    std::vector<std::string> publicKeys_;
    std::wstring serialFile_;
};
