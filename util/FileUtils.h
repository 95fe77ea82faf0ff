#pragma once
// Free functions the processors, the resource manager, the install paths and
// the notice request use to touch the file system. Paths use backslashes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// True when the file existed (could be opened for reading) and a delete was tried.
bool DeleteExistingFile(const std::wstring& path);
// Creates every missing folder along the path, under one process-wide lock.
void CreateFolderPath(const std::wstring& path);
// The text before the last backslash; false (out untouched) when there is none.
bool GetParentFolder(const std::wstring& path, std::wstring* out);
// The path in the form Windows' file functions take at any length. An absolute
// drive path ("C:\...") of kLongPathFrom characters or more (with a temporary
// suffix it could reach MAX_PATH, its folder MAX_PATH - 12, the plain form's
// limits) is given in the "\\?\" form, taken up to 32,767 characters; any
// other path as it is. That form skips Windows' normalising, so the path must
// already be normalised: backslashes only, no "." or ".." segment (the
// launcher's resource paths are).
const size_t kLongPathFrom = 200;
std::wstring LongPathForm(const std::wstring& path);
// The characters that form adds to a path of length characters whose start
// is start (its first three will do): 4 or 0.
size_t LongPathPrefixLength(std::wstring_view start, size_t length);

// Whole file decoded from UTF-8 (a leading byte-order mark is dropped).
bool ReadUtf8TextFile(const std::wstring& path, std::wstring* out);
bool ReadFileBytes(const std::wstring& path, std::string* out);
// The file's size in bytes; 0 when it is missing or cannot be asked.
uint64_t FileSizeOrZero(const std::wstring& path);
// Creates or truncates the file (and its missing folders) and writes the text
// as UTF-8 without a byte-order mark.
bool WriteUtf8TextFile(const std::wstring& path, const std::wstring& text);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// The four 16-bit parts of the file version. True with *out untouched when the
// file has no version resource; false when it is missing or unreadable.
bool GetFileVersion(const std::wstring& path, int32_t out[4]);

// Roots ("C:\") of the fixed drives, in the platform's order.
bool ListFixedDrives(std::vector<std::wstring>* out);
// Creates the folder if needed and proves a file can be created in it
// (the probe "launcher_test.txt" is removed again).
bool IsFolderWritable(const std::wstring& folder);
// The bytes this process may still write on the drive that holds folder (the
// nearest existing parent of a folder not made yet): the one way the launcher
// learns free space. False when Windows cannot tell.
bool FreeDiskBytes(const std::wstring& folder, uint64_t* freeBytes);
// The writable fixed drive with the most free bytes; ties go to the first listed.
bool ChooseFreestFixedDrive(std::wstring* out);
