#include "util/FileUtils.h"

#include <windows.h>
#include <shlwapi.h>
#include <memory>

#include "afx/File.h"
#include "afx/ScopedWin.h"
#include "util/TextEncoding.h"

namespace {

const wchar_t kProbeFileName[] = L"launcher_test.txt";

bool FileExists(const std::wstring& path) {
    CFile file;
    return !path.empty() && file.Open(path, CFile::kReadShared);
}

bool ReadWholeFile(CFile& file, std::string* out) {
    uint64_t length = 0;
    if (!file.GetLength(&length)) return false;
    uint32_t size = static_cast<uint32_t>(length);
    out->assign(size, '\0');
    uint32_t done = 0;
    while (done < size) {
        uint32_t got = 0;
        if (!file.Read(&(*out)[done], size - done, &got) || got == 0) return false;
        done += got;
    }
    return true;
}

}  // namespace

bool DeleteExistingFile(const std::wstring& path) {
    if (!FileExists(path)) return false;
    ::DeleteFileW(path.c_str());
    return true;
}

void CreateFolderPath(const std::wstring& path) {
    // Workers create the folders of the files they write at the same time.
    static CriticalSection lock;
    ScopedLock hold(lock);
    std::wstring full = path;
    if (full.empty() || full.back() != L'\\') full += L'\\';
    for (size_t i = 0; i < full.size(); ++i) {
        if (full[i] != L'\\' || i == 0) continue;
        std::wstring prefix = full.substr(0, i);
        // Attributes rather than PathIsDirectoryW, which stops at MAX_PATH. In
        // the "\\?\" form the first pieces ("\\?", "\\?\C:") are no folders;
        // creating them fails and does no harm.
        DWORD attributes = ::GetFileAttributesW(prefix.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            ::CreateDirectoryW(prefix.c_str(), nullptr);
        }
    }
}

size_t LongPathPrefixLength(std::wstring_view start, size_t length) {
    const bool driveAbsolute = start.size() >= 3 && start[1] == L':' && start[2] == L'\\' &&
                               ((start[0] >= L'A' && start[0] <= L'Z') || (start[0] >= L'a' && start[0] <= L'z'));
    return length >= kLongPathFrom && driveAbsolute ? 4 : 0;
}

std::wstring LongPathForm(const std::wstring& path) {
    if (LongPathPrefixLength(path, path.size()) == 0) return path;
    return L"\\\\?\\" + path;
}

bool GetParentFolder(const std::wstring& path, std::wstring* out) {
    size_t pos = path.rfind(L'\\');
    if (pos == std::wstring::npos) return false;
    *out = path.substr(0, pos);
    return true;
}

bool ReadFileBytes(const std::wstring& path, std::string* out) {
    if (!FileExists(path)) return false;
    CFile file;
    if (!file.Open(path, CFile::kReadShared)) return false;
    return ReadWholeFile(file, out);
}

uint64_t FileSizeOrZero(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool ReadUtf8TextFile(const std::wstring& path, std::wstring* out) {
    std::string bytes;
    if (!ReadFileBytes(path, &bytes)) return false;
    const size_t mark = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    *out = Utf8BytesToText(bytes.data() + mark, bytes.size() - mark);  // up to the first zero byte
    return true;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    if (path.empty()) return false;
    std::wstring parent;
    if (GetParentFolder(path, &parent) && !parent.empty() && !::PathIsDirectoryW(parent.c_str())) {
        CreateFolderPath(parent);
    }
    CFile file;
    if (!file.Open(path, CFile::kCreateWrite)) return false;
    return file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

bool WriteUtf8TextFile(const std::wstring& path, const std::wstring& text) {
    // The UTF-8 bytes themselves, up to the first zero character. (Carrying them
    // through a code-page text first would not survive code page 936.)
    std::wstring upToZero(text.c_str());
    return WriteFileBytes(path, TextToUtf8String(upToZero));
}

bool GetFileVersion(const std::wstring& path, int32_t out[4]) {
    if (!FileExists(path)) return false;
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return true;
    std::unique_ptr<unsigned char[]> data(new unsigned char[size + 1]());
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.get())) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (!::VerQueryValueW(data.get(), L"\\", reinterpret_cast<void**>(&info), &infoLength) || !info) {
        return false;
    }
    out[0] = HIWORD(info->dwFileVersionMS);
    out[1] = LOWORD(info->dwFileVersionMS);
    out[2] = HIWORD(info->dwFileVersionLS);
    out[3] = LOWORD(info->dwFileVersionLS);
    return true;
}

bool ListFixedDrives(std::vector<std::wstring>* out) {
    wchar_t buffer[100] = {};
    DWORD n = ::GetLogicalDriveStringsW(100, buffer);
    if (n == 0 || n > 100) return false;
    for (const wchar_t* root = buffer; *root; root += wcslen(root) + 1) {
        if (::GetDriveTypeW(root) == DRIVE_FIXED) out->push_back(root);
    }
    return true;
}

bool IsFolderWritable(const std::wstring& folder) {
    CreateFolderPath(folder);
    if (!::PathIsDirectoryW(folder.c_str())) return false;
    std::wstring probe = folder + kProbeFileName;
    {
        CFile file;
        if (!file.Open(probe, CFile::kCreateWrite)) return false;
        const char one = '1';
        if (!file.Write(&one, 1)) {
            file.Close();
            DeleteExistingFile(probe);
            return false;
        }
    }
    DeleteExistingFile(probe);
    return true;
}

bool ChooseFreestFixedDrive(std::wstring* out) {
    out->clear();
    std::vector<std::wstring> drives;
    if (!ListFixedDrives(&drives) || drives.empty()) return false;
    unsigned long long best = 0;
    for (const std::wstring& root : drives) {
        if (!IsFolderWritable(root)) continue;
        uint64_t free = 0;
        if (!FreeDiskBytes(root, &free)) continue;
        if (free > best) {
            best = free;
            *out = root;
        }
    }
    return !out->empty();
}

bool FreeDiskBytes(const std::wstring& folder, uint64_t* freeBytes) {
    // What this process may write: a quota leaves it less than the drive has.
    std::wstring at = folder;
    for (;;) {
        ULARGE_INTEGER available;
        if (::GetDiskFreeSpaceExW(at.c_str(), &available, nullptr, nullptr)) {
            *freeBytes = available.QuadPart;
            return true;
        }
        DWORD error = ::GetLastError();
        std::wstring parent;
        if ((error != ERROR_PATH_NOT_FOUND && error != ERROR_FILE_NOT_FOUND) || !GetParentFolder(at, &parent) ||
            parent.size() >= at.size()) {
            return false;
        }
        at = parent;
    }
}
