#include "afx/File.h"

bool CFile::Open(const std::wstring& path, unsigned flags) {
    Close();
    DWORD access = (flags & modeWrite) ? GENERIC_WRITE : GENERIC_READ;
    DWORD share = (flags & shareDenyNone) ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : 0;
    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate) disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;
    handle_.Reset(::CreateFileW(path.c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    return handle_.IsValid();
}

bool CFile::Read(void* buffer, uint32_t count, uint32_t* read) {
    DWORD got = 0;
    BOOL ok = ::ReadFile(handle_.Get(), buffer, count, &got, nullptr);
    if (read) *read = got;
    return ok != FALSE;
}

bool CFile::Write(const void* buffer, uint32_t count) {
    const char* p = static_cast<const char*>(buffer);
    while (count > 0) {
        DWORD written = 0;
        if (!::WriteFile(handle_.Get(), p, count, &written, nullptr) || written == 0) return false;
        p += written;
        count -= written;
    }
    return true;
}

bool CFile::Flush() { return ::FlushFileBuffers(handle_.Get()) != FALSE; }

bool CFile::Seek(int64_t offset, DWORD from, int64_t* newPosition) {
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    if (!::SetFilePointerEx(handle_.Get(), distance, &result, from)) return false;
    if (newPosition) *newPosition = result.QuadPart;
    return true;
}

bool CFile::GetLength(uint64_t* length) const {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_.Get(), &size)) return false;
    *length = static_cast<uint64_t>(size.QuadPart);
    return true;
}
