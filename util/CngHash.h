#pragma once
// A hash computed by Windows' CNG provider (bcrypt), fed in pieces: the one
// place the launcher hashes bytes, whatever the algorithm.
#include <windows.h>
#include <bcrypt.h>
#include <cstddef>
#include <string>

#include "afx/ScopedWin.h"

enum class HashAlgorithm { Md5, Sha256 };

// The hash object is made with the first bytes (or the Finish without any),
// not before: a download batch holds a hasher for each of thousands of files
// waiting their turn, and each finished one would otherwise keep one made for
// nothing.
class CngHasher {
public:
    explicit CngHasher(HashAlgorithm algorithm) : algorithm_(algorithm) {}
    CngHasher(const CngHasher&) = delete;
    CngHasher& operator=(const CngHasher&) = delete;

    // False when CNG refused the bytes (or had no such algorithm): the digest is then worthless.
    bool Update(const void* bytes, size_t count);
    // The raw digest; false (out untouched) after any failure. Starts over afterwards.
    bool Finish(std::string* digest);

private:
    // Makes the hash object when there is none; false when CNG refused.
    bool Start();
    HashAlgorithm algorithm_;
    ScopedBcryptHash hash_;
    bool failed_ = false;
};
