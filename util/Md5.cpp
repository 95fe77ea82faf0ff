#include "util/Md5.h"

#include <cwctype>
#include <memory>

#include "afx/ScopedWin.h"

#include "util/TextEncoding.h"

namespace {

// The provider is opened once and shared: CNG algorithm handles may be used
// from several threads at once, only hash objects may not.
BCRYPT_ALG_HANDLE Md5Provider() {
    static BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&handle, BCRYPT_MD5_ALGORITHM, nullptr, 0))) return
            static_cast<BCRYPT_ALG_HANDLE>(nullptr);
        return handle;
    }();
    return provider;
}

const ULONG kMaxPiece = 1u << 30;

}  // namespace

Md5Hasher::Md5Hasher() { Restart(); }

Md5Hasher::~Md5Hasher() {
    if (hash_) ::BCryptDestroyHash(hash_);
}

bool Md5Hasher::Restart() {
    if (hash_) ::BCryptDestroyHash(hash_);
    hash_ = nullptr;
    BCRYPT_ALG_HANDLE provider = Md5Provider();
    failed_ = !provider || !BCRYPT_SUCCESS(::BCryptCreateHash(provider, &hash_, nullptr, 0, nullptr, 0, 0));
    if (failed_) hash_ = nullptr;
    return !failed_;
}

bool Md5Hasher::Update(const void* bytes, size_t count) {
    const UCHAR* p = static_cast<const UCHAR*>(bytes);
    while (!failed_ && count > 0) {
        ULONG piece = count > kMaxPiece ? kMaxPiece : static_cast<ULONG>(count);
        if (!BCRYPT_SUCCESS(::BCryptHashData(hash_, const_cast<UCHAR*>(p), piece, 0))) failed_ = true;
        p += piece;
        count -= piece;
    }
    return !failed_;
}

bool Md5Hasher::FinishHex(std::string* out) {
    UCHAR digest[16];
    bool ok = !failed_ && BCRYPT_SUCCESS(::BCryptFinishHash(hash_, digest, sizeof(digest), 0));
    Restart();
    if (!ok) return false;
    *out = BytesToHexUpper(std::string(reinterpret_cast<char*>(digest), sizeof(digest)));
    return true;
}

std::string Md5OfBytesHex(const std::string& bytes) {
    Md5Hasher hasher;
    std::string hex;
    if (!hasher.Update(bytes.data(), bytes.size()) || !hasher.FinishHex(&hex)) return std::string();
    return hex;
}

std::wstring Md5OfText(const std::wstring& text) {
    return AnsiToText(Md5OfBytesHex(TextToAnsi(text)));
}

bool Md5OfFileHex(const std::wstring& path, std::string* out, const std::function<void(uint64_t)>& onBytes) {
    // Sequential reads of 1 MiB: the read-ahead keeps the disk streaming, and
    // the pieces are large enough that each call costs next to nothing.
    const DWORD kPiece = 1u << 20;
    ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.IsValid()) return false;
    std::unique_ptr<char[]> buffer(new char[kPiece]);
    Md5Hasher hasher;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), buffer.get(), kPiece, &got, nullptr)) return false;
        if (got == 0) break;
        if (!hasher.Update(buffer.get(), got)) return false;
        if (onBytes) onBytes(got);
    }
    return hasher.FinishHex(out);
}

bool SameMd5Hex(const std::string& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towupper(static_cast<unsigned char>(a[i])) != std::towupper(b[i])) return false;
    }
    return true;
}
