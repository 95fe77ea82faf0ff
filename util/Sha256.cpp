#include "util/Sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include "afx/ScopedWin.h"

bool Sha256Of(const std::string& bytes, std::string* digest) {
    ScopedBcryptAlgorithm algorithm;
    BCRYPT_ALG_HANDLE opened = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
    algorithm.Reset(opened);
    // BCryptCreateHash rather than the one-call BCryptHash, which Windows 7 lacks.
    ScopedBcryptHash hash;
    BCRYPT_HASH_HANDLE created = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.Get(), &created, nullptr, 0, nullptr, 0, 0))) return false;
    hash.Reset(created);
    if (!bytes.empty() &&
        !BCRYPT_SUCCESS(::BCryptHashData(hash.Get(), reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                         static_cast<ULONG>(bytes.size()), 0))) {
        return false;
    }
    unsigned char out[32];
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.Get(), out, sizeof(out), 0))) return false;
    digest->assign(reinterpret_cast<const char*>(out), sizeof(out));
    return true;
}
