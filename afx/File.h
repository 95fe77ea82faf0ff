#pragma once
// A small stand-in for MFC's CFile: one open file, closed when the object goes.
// Failures are return values, never exceptions.
#include <windows.h>
#include <cstdint>
#include <string>
#include "afx/ScopedWin.h"

class CFile {
public:
    // The two opening modes the launcher uses, with MFC's values.
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,  // with modeCreate: open an existing file as it is
    };
    static constexpr unsigned kReadShared = modeRead | shareDenyNone;   // 64
    static constexpr unsigned kCreateWrite = modeCreate | modeWrite;    // 4097

    CFile() = default;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // kReadShared: read access, others may read and write, the file must exist.
    // kCreateWrite: write access, created or truncated, no sharing.
    bool Open(const std::wstring& path, unsigned flags);
    void Close() { handle_.Reset(); }
    bool IsOpen() const { return handle_.IsValid(); }

    // Reads up to count bytes; false on a read error. *read receives the bytes read.
    bool Read(void* buffer, uint32_t count, uint32_t* read);
    // Writes all count bytes; false when not all could be written.
    bool Write(const void* buffer, uint32_t count);
    bool Flush();
    bool Seek(int64_t offset, DWORD from, int64_t* newPosition = nullptr);
    bool GetLength(uint64_t* length) const;
    HANDLE Handle() const { return handle_.Get(); }
    // Hands the open file over: the caller closes it; this object is closed after.
    HANDLE Detach() { return handle_.Release(); }
    // Takes over a file opened elsewhere (closing the one held before).
    void Attach(HANDLE handle) { handle_.Reset(handle); }

private:
    ScopedFileHandle handle_;
};
