#pragma once
// Rebuilds one changed file from its chunks (update/ContentIndex.h) under the
// file's temporary name (target + ".drelpart"): the chunks the player already
// has come from the installed file, cut with the same chunker, and from what an
// earlier run left under the temporary name; the others arrive from the CDN.
// Unlike a file fetched whole, the temporary file is kept when the launcher
// stops or is killed: every chunk in it had its SHA-256 checked before it was
// written, so the next run starts from them. The installed file is replaced
// only by a whole file whose MD5 matches, as every other one is (its SHA-256
// is covered chunk by chunk).
//
// Prepare runs on one thread before the batch; WriteChunk, Install and Abandon
// may come from any download worker.
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"
#include "update/ContentIndex.h"

class DiskSpaceGuard;

class ChunkedFileAssembly {
public:
    // targetPath: the installed file's path (from ResourcePathUnder);
    // expectedMd5: the list's MD5 of the new file.
    ChunkedFileAssembly(const ContentIndexEntry& entry, const std::wstring& targetPath,
                        const std::wstring& expectedMd5);
    ChunkedFileAssembly(const ChunkedFileAssembly&) = delete;
    ChunkedFileAssembly& operator=(const ChunkedFileAssembly&) = delete;

    // Keeps the chunks the temporary file already holds in their places,
    // copies in those the installed file has, and gives the temporary file its
    // final size. onBytesRead (may be empty) is told each piece read, and
    // stops the work by giving false (the chunks copied so far stay). The
    // temporary file grows only when space (may be null) grants all it grows
    // by, so copying never takes the drive below the batch's floor. False when
    // it was stopped, when space refused (ERROR_DISK_FULL), or when the
    // temporary file cannot be made, read or written: the file is then
    // fetched whole.
    bool Prepare(const std::function<bool(uint64_t)>& onBytesRead, DiskSpaceGuard* space = nullptr);
    // The chunks still to fetch, by index into the entry's chunks, in order.
    const std::vector<uint32_t>& MissingChunks() const { return missing_; }
    // Where the bytes that bring a chunk lie in the member: the chunk's own,
    // and for the first one the gzip header before it as well, so that all
    // chunks together are exactly the member.
    uint32_t TaskOffset(uint32_t index) const;
    uint32_t TaskLength(uint32_t index) const;
    // What fetching the missing chunks costs.
    uint64_t MissingMemberBytes() const;
    const ContentIndexEntry& Entry() const { return entry_; }

    // Writes the inflated bytes of a chunk in place after checking their
    // length and SHA-256. *complete tells that no chunk is missing any more.
    // False when they do not match or cannot be written. A chunk written
    // before, or a file abandoned, takes nothing and gives true.
    bool WriteChunk(uint32_t index, const std::string& bytes, bool* complete);
    // True when no chunk is missing.
    bool Complete();
    // Checks the whole file and moves it over the installed one; once only,
    // later calls give the first outcome. *installedNow is true for the one
    // call that installed it. A file that fails its check is deleted (its
    // chunks came from an index that does not describe it).
    bool Install(bool* installedNow);
    // The file is fetched whole instead: no further chunk is written and the
    // temporary file is closed, for the whole fetch to overwrite.
    void Abandon();
    bool Abandoned();

private:
    bool CopyFromInstalled(HANDLE part, std::vector<bool>* have, const std::function<bool(uint64_t)>& onBytesRead);
    bool VerifyWhole(HANDLE file);

    const ContentIndexEntry entry_;
    const std::wstring targetPath_;
    const std::wstring partPath_;
    const std::wstring expectedMd5_;
    std::vector<uint32_t> missing_;

    CriticalSection lock_;  // what follows
    std::vector<bool> written_;
    size_t stillMissing_ = 0;
    ScopedFileHandle part_;
    bool abandoned_ = false;
    enum class Outcome { Pending, Installed, Failed } outcome_ = Outcome::Pending;
};
