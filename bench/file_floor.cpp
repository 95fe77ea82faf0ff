// The floor of writing many small files under Wine: every file of a CDN list
// written one after another with nothing but CreateFileW, WriteFile and
// CloseHandle (and CreateDirectoryW for its folders), from bytes already in
// memory. Nothing of the launcher is linked: this is what any program pays.
// Usage: file_floor.exe LIST_FILE SOURCE_FOLDER TARGET_FOLDER [--flush-threads N]
//   LIST_FILE is the CDN list (UTF-8, one name=... line per file); each file's
//   bytes are read from SOURCE_FOLDER\name before the clock starts and written
//   to TARGET_FOLDER\name, which must not exist yet. With --flush-threads every
//   file is also made durable, as the launcher must before it records a file:
//   the writing thread hands each written file, still open, to N flushing
//   threads (at most 32 files waiting), which flush (FlushFileBuffers) and
//   close them; the clock stops once the last file is closed.
// Prints FLOOR_FILES, FLOOR_BYTES and FLOOR_SECONDS, or FLOOR_FAILED and exits with 1.
#include <windows.h>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "afx/ScopedWin.h"

namespace {

struct SourceFile {
    std::wstring name;  // relative, with backslashes
    std::string bytes;
};

std::wstring FromCodePage(const std::string& text, UINT codePage) {
    if (text.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

bool ReadWholeFile(const std::wstring& path, std::string* out) {
    ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid()) return false;
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    out->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return out->empty() ||
           (::ReadFile(file.Get(), &(*out)[0], static_cast<DWORD>(out->size()), &read, nullptr) && read == out->size());
}

// The names of the list's lines (the text before the first "="), in list order.
bool ReadListNames(const std::wstring& listPath, std::vector<std::wstring>* names) {
    std::string bytes;
    if (!ReadWholeFile(listPath, &bytes)) return false;
    std::wstring text = FromCodePage(bytes, CP_UTF8);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(at, end - at);
        at = end + 1;
        size_t equals = line.find(L'=');
        if (equals != std::wstring::npos && equals > 0) names->push_back(line.substr(0, equals));
    }
    return true;
}

// Creates every missing folder along the file's path.
void CreateParentFolders(const std::wstring& path) {
    for (size_t slash = path.find(L'\\'); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1)) {
        ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    }
}

double Now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring Folder(const wchar_t* text) {
    std::wstring folder = text;
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

// Flushes and closes the files handed to it on threads of its own.
class FlushingThreads {
public:
    explicit FlushingThreads(size_t count) {
        for (size_t i = 0; i < count; ++i) {
            threads_.emplace_back(::CreateThread(nullptr, 0, &FlushingThreads::Main, this, 0, nullptr));
        }
    }
    ~FlushingThreads() {
        if (!finished_) Finish();
    }
    FlushingThreads(const FlushingThreads&) = delete;
    FlushingThreads& operator=(const FlushingThreads&) = delete;
    // Hands over an open file; waits while 32 wait already.
    void Add(HANDLE file) {
        ScopedLock hold(lock_);
        while (waiting_.size() >= kMaxWaiting) ::SleepConditionVariableCS(&changed_, lock_.Native(), INFINITE);
        waiting_.push_back(file);
        ::WakeAllConditionVariable(&changed_);
    }
    // Waits until every file handed over is closed; false when a flush or close failed.
    bool Finish() {
        {
            ScopedLock hold(lock_);
            ending_ = true;
            ::WakeAllConditionVariable(&changed_);
        }
        for (const ScopedHandle& thread : threads_) {
            if (thread.IsValid()) ::WaitForSingleObject(thread.Get(), INFINITE);
        }
        finished_ = true;
        return !failed_;
    }
    bool Started() const {
        for (const ScopedHandle& thread : threads_) {
            if (!thread.IsValid()) return false;
        }
        return !threads_.empty();
    }

private:
    static const size_t kMaxWaiting = 32;
    static DWORD WINAPI Main(LPVOID self) {
        static_cast<FlushingThreads*>(self)->Run();
        return 0;
    }
    void Run() {
        for (;;) {
            HANDLE file;
            {
                ScopedLock hold(lock_);
                while (waiting_.empty() && !ending_) ::SleepConditionVariableCS(&changed_, lock_.Native(), INFINITE);
                if (waiting_.empty()) return;
                file = waiting_.front();
                waiting_.pop_front();
                ::WakeAllConditionVariable(&changed_);
            }
            bool done = ::FlushFileBuffers(file) != FALSE;
            done = ::CloseHandle(file) != FALSE && done;
            if (!done) {
                ScopedLock hold(lock_);
                failed_ = true;
            }
        }
    }

    CriticalSection lock_;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    std::deque<HANDLE> waiting_;
    bool ending_ = false;
    bool failed_ = false;
    bool finished_ = false;
    std::vector<ScopedHandle> threads_;  // last: they start once the rest is made
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool flush = argc == 6 && std::wstring(argv[4]) == L"--flush-threads";
    const int flushThreads = flush ? _wtoi(argv[5]) : 0;
    if ((argc != 4 && !flush) || (flush && (flushThreads < 1 || flushThreads > 16))) {
        std::fprintf(stderr, "usage: file_floor.exe LIST_FILE SOURCE_FOLDER TARGET_FOLDER [--flush-threads N]\n");
        return 2;
    }
    const std::wstring source = Folder(argv[2]);
    const std::wstring target = Folder(argv[3]);
    if (::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        std::printf("FLOOR_FAILED=the target folder already exists\n");
        return 1;
    }
    std::vector<std::wstring> names;
    if (!ReadListNames(argv[1], &names) || names.empty()) {
        std::printf("FLOOR_FAILED=no names in the list\n");
        return 1;
    }
    std::vector<SourceFile> files(names.size());
    unsigned long long total = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        files[i].name = names[i];
        if (!ReadWholeFile(source + names[i], &files[i].bytes)) {
            std::printf("FLOOR_FAILED=cannot read %ls\n", names[i].c_str());
            return 1;
        }
        total += files[i].bytes.size();
    }

    double start = Now();
    std::unique_ptr<FlushingThreads> flusher(flush ? new FlushingThreads(static_cast<size_t>(flushThreads)) : nullptr);
    if (flusher && !flusher->Started()) {
        std::printf("FLOOR_FAILED=no flushing thread\n");
        return 1;
    }
    std::wstring lastFolder;
    for (const SourceFile& file : files) {
        std::wstring path = target + file.name;
        std::wstring folder = path.substr(0, path.rfind(L'\\'));
        if (folder != lastFolder) {
            CreateParentFolders(path);
            lastFolder = folder;
        }
        ScopedFileHandle out(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!out.IsValid() ||
            !::WriteFile(out.Get(), file.bytes.data(), static_cast<DWORD>(file.bytes.size()), &written, nullptr) ||
            written != file.bytes.size()) {
            std::printf("FLOOR_FAILED=cannot write %ls (error %lu)\n", path.c_str(), ::GetLastError());
            return 1;
        }
        if (flusher) {
            flusher->Add(out.Release());
        } else {
            out.Reset();  // CloseHandle belongs to the cost of every file
        }
    }
    if (flusher && !flusher->Finish()) {
        std::printf("FLOOR_FAILED=a flush or close failed\n");
        return 1;
    }
    double seconds = Now() - start;
    std::printf("FLOOR_FILES=%u\nFLOOR_BYTES=%llu\nFLOOR_SECONDS=%.3f\n", static_cast<unsigned>(files.size()), total,
                seconds);
    return 0;
}
