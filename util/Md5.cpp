#include "util/Md5.h"

#include <cwctype>
#include <memory>

#include "afx/ScopedWin.h"

#include "util/TextEncoding.h"

bool Md5Hasher::FinishHex(std::string* out) {
    std::string digest;
    if (!hasher_.Finish(&digest)) return false;
    *out = BytesToHexUpper(digest);
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

bool Md5OfFileHex(const std::wstring& path, std::string* out, const std::function<bool(uint64_t)>& onBytes) {
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
        if (onBytes && !onBytes(got)) return false;
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
