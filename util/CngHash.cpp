#include "util/CngHash.h"

namespace {

// Providers are opened once per algorithm and shared: CNG algorithm handles may
// be used from several threads at once, only hash objects may not. They live
// as long as the process.
BCRYPT_ALG_HANDLE OpenProvider(const wchar_t* name) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    return BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0)) ? handle : nullptr;
}

BCRYPT_ALG_HANDLE Provider(HashAlgorithm algorithm) {
    static BCRYPT_ALG_HANDLE md5 = OpenProvider(BCRYPT_MD5_ALGORITHM);
    static BCRYPT_ALG_HANDLE sha256 = OpenProvider(BCRYPT_SHA256_ALGORITHM);
    return algorithm == HashAlgorithm::Md5 ? md5 : sha256;
}

size_t DigestSize(HashAlgorithm algorithm) { return algorithm == HashAlgorithm::Md5 ? 16 : 32; }

const ULONG kMaxPiece = 1u << 30;

}  // namespace

bool CngHasher::Start() {
    if (hash_.IsValid() || failed_) return !failed_;
    BCRYPT_ALG_HANDLE provider = Provider(algorithm_);
    BCRYPT_HASH_HANDLE created = nullptr;
    // BCryptCreateHash rather than the one-call BCryptHash, which Windows 7 lacks;
    // a null object buffer lets CNG allocate it (Windows 7 and later).
    failed_ = !provider || !BCRYPT_SUCCESS(::BCryptCreateHash(provider, &created, nullptr, 0, nullptr, 0, 0));
    if (!failed_) hash_.Reset(created);
    return !failed_;
}

bool CngHasher::Update(const void* bytes, size_t count) {
    const UCHAR* p = static_cast<const UCHAR*>(bytes);
    while (count > 0 && Start()) {
        ULONG piece = count > kMaxPiece ? kMaxPiece : static_cast<ULONG>(count);
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash_.Get(), const_cast<UCHAR*>(p), piece, 0))) failed_ = true;
        p += piece;
        count -= piece;
    }
    return !failed_;
}

bool CngHasher::Finish(std::string* digest) {
    UCHAR out[32];
    const ULONG size = static_cast<ULONG>(DigestSize(algorithm_));
    bool ok = Start() && BCRYPT_SUCCESS(::BCryptFinishHash(hash_.Get(), out, size, 0));
    // Starts over: the next bytes make a new hash object.
    hash_.Reset();
    failed_ = false;
    if (!ok) return false;
    digest->assign(reinterpret_cast<const char*>(out), size);
    return true;
}
