#pragma once
// What the launcher requires of a CDN list before it acts on it. With the
// public keys the executable was built with, every list needs a statement
// (update/ListSignature.h) that one of the keys signed for this launcher's
// channel, that states the list's SHA-256, that has not expired, and whose
// serial is not below the highest this launcher accepted before for the
// channel. Without keys, lists are taken as they come.
//
// The serials are remembered per key and channel, never per list URL: the
// launcher server's answer is not signed, so a URL is whatever the network
// says it is. The check counts the highest serial of every key for the
// channel, so switching keys cannot bring back a list older than one already
// taken. Two copies of the serials are kept, one in the data folder and one
// beside version.txt in the game root; the higher counts, so deleting either
// folder's copy alone resets nothing. Each copy holds one line (ASCII, CR LF)
//   <serial> <the key's first 16 hex digits> <channel>
// per key and channel and is replaced as a whole (temporary file, then one
// move). Lines of another form are kept as they are and not counted: the
// "<serial> <url>" lines of launchers before channels guarded statements of
// version 1, which this launcher refuses whatever their serial, and taking
// them as a floor for the channel would lock players out whenever an old
// statement had been signed after a new one.
#include <cstdint>
#include <string>
#include <vector>

#include "update/ListSignature.h"

class ListTrust {
public:
    // The name of both copies of the serials.
    static const wchar_t kSerialFileName[];  // "list_serials.txt"

    // keys: the built-in public keys, separated by ';' (empty: none);
    // channel: the launcher's package name; dataSerialFile: the data folder's copy.
    void Configure(const std::string& keys, const std::string& channel, const std::wstring& dataSerialFile);
    // The second copy, beside version.txt, set once the game root is known.
    void SetGameRootSerialFile(const std::wstring& path) { gameRootSerialFile_ = path; }
    // True when lists must come with a statement.
    bool Required() const { return !publicKeys_.empty(); }

    // The check of a list and its statement (empty when none arrived), at the
    // current time. An accepted serial is remembered in each copy that holds
    // less (or is missing).
    ListCheck Check(const std::string& listBytes, const std::string& statementBytes);
    // The same at a given Unix time.
    ListCheck CheckAt(const std::string& listBytes, const std::string& statementBytes, int64_t now);
    // A file published with the list just accepted (its content index) and its
    // own statement: the same checks, with the accepted serial as the floor,
    // and nothing is remembered.
    ListCheck CheckCompanion(const std::string& bytes, const std::string& statementBytes);
    // The highest serial accepted for the channel by any key in either copy, 0
    // when none; false when a copy exists but cannot be read.
    bool RememberedSerial(int64_t* serial) const;

private:
    // The statement's check with the highest remembered serial as the floor.
    ListCheck CheckAgainstRemembered(const std::string& bytes, const std::string& statementBytes, int64_t now,
                                     AcceptedStatement* accepted) const;
    std::vector<std::wstring> SerialFiles() const;
    // The highest serial for the channel in one copy, 0 without the file;
    // false when it exists but cannot be read.
    bool HighestIn(const std::wstring& file, int64_t* serial) const;
    bool RememberSerial(const std::wstring& file, const std::string& keyId, int64_t serial);

    std::vector<std::string> publicKeys_;
    std::string channel_;
    std::wstring dataSerialFile_;
    std::wstring gameRootSerialFile_;
};
