#pragma once
// Non-copyable owners of Windows handles: each closes what it holds when it goes.
#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>

template <typename T, T Invalid, typename Closer>
class ScopedResource {
public:
    ScopedResource() : value_(Invalid) {}
    explicit ScopedResource(T value) : value_(value) {}
    ~ScopedResource() { Reset(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ScopedResource(ScopedResource&& other) noexcept : value_(other.Release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    T Get() const { return value_; }
    bool IsValid() const { return value_ != Invalid; }
    explicit operator bool() const { return IsValid(); }
    T Release() { T v = value_; value_ = Invalid; return v; }
    void Reset(T value = Invalid) {
        if (value_ != Invalid) Closer()(value_);
        value_ = value;
    }

private:
    T value_;
};

struct HandleCloser { void operator()(HANDLE h) const { ::CloseHandle(h); } };
struct RegKeyCloser { void operator()(HKEY k) const { ::RegCloseKey(k); } };
struct GlobalFreer { void operator()(HGLOBAL g) const { ::GlobalFree(g); } };
struct GdiObjectDeleter { void operator()(HGDIOBJ o) const { ::DeleteObject(o); } };
struct DcReleaser { void operator()(HDC dc) const { ::ReleaseDC(nullptr, dc); } };
struct MenuDestroyer { void operator()(HMENU m) const { ::DestroyMenu(m); } };

// A kernel handle whose failure value is null (processes, threads, mutexes, events).
using ScopedHandle = ScopedResource<HANDLE, nullptr, HandleCloser>;
// CreateFileW's failure value is INVALID_HANDLE_VALUE.
class ScopedFileHandle {
public:
    ScopedFileHandle() = default;
    explicit ScopedFileHandle(HANDLE h) : h_(h) {}
    ~ScopedFileHandle() { Reset(); }
    ScopedFileHandle(const ScopedFileHandle&) = delete;
    ScopedFileHandle& operator=(const ScopedFileHandle&) = delete;
    ScopedFileHandle(ScopedFileHandle&& other) noexcept : h_(other.Release()) {}
    ScopedFileHandle& operator=(ScopedFileHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    HANDLE Get() const { return h_; }
    bool IsValid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    // Gives up ownership: the caller closes the handle.
    HANDLE Release() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h;
    }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (IsValid()) ::CloseHandle(h_);
        h_ = h;
    }
private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};
// A FindFirstFileExW search; its failure value is INVALID_HANDLE_VALUE too.
class ScopedFindHandle {
public:
    explicit ScopedFindHandle(HANDLE h) : h_(h) {}
    ~ScopedFindHandle() {
        if (IsValid()) ::FindClose(h_);
    }
    ScopedFindHandle(const ScopedFindHandle&) = delete;
    ScopedFindHandle& operator=(const ScopedFindHandle&) = delete;
    HANDLE Get() const { return h_; }
    bool IsValid() const { return h_ != INVALID_HANDLE_VALUE; }
private:
    HANDLE h_;
};
// CNG: an algorithm provider, a hash object, a key.
struct BcryptAlgorithmCloser { void operator()(BCRYPT_ALG_HANDLE a) const { ::BCryptCloseAlgorithmProvider(a, 0); } };
struct BcryptHashDestroyer { void operator()(BCRYPT_HASH_HANDLE h) const { ::BCryptDestroyHash(h); } };
struct BcryptKeyDestroyer { void operator()(BCRYPT_KEY_HANDLE k) const { ::BCryptDestroyKey(k); } };
using ScopedBcryptAlgorithm = ScopedResource<BCRYPT_ALG_HANDLE, nullptr, BcryptAlgorithmCloser>;
using ScopedBcryptHash = ScopedResource<BCRYPT_HASH_HANDLE, nullptr, BcryptHashDestroyer>;
using ScopedBcryptKey = ScopedResource<BCRYPT_KEY_HANDLE, nullptr, BcryptKeyDestroyer>;
using ScopedRegKey = ScopedResource<HKEY, nullptr, RegKeyCloser>;
using ScopedMenu = ScopedResource<HMENU, nullptr, MenuDestroyer>;
using ScopedHGlobal = ScopedResource<HGLOBAL, nullptr, GlobalFreer>;
using ScopedGdiObject = ScopedResource<HGDIOBJ, nullptr, GdiObjectDeleter>;
using ScopedScreenDc = ScopedResource<HDC, nullptr, DcReleaser>;

// COM on the calling thread, uninitialised when the scope ends if it was initialised.
class ScopedComInit {
public:
    ScopedComInit() : ok_(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~ScopedComInit() { if (ok_) ::CoUninitialize(); }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;
    bool Succeeded() const { return ok_; }
private:
    bool ok_;
};

// Holds one COM interface pointer and releases it.
template <typename T>
class ScopedComPtr {
public:
    ScopedComPtr() = default;
    ~ScopedComPtr() { Reset(); }
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For functions that hand out a new reference.
    T** Receive() { Reset(); return &p_; }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    void Reset() { if (p_) { p_->Release(); p_ = nullptr; } }
private:
    T* p_ = nullptr;
};

// A critical section, entered and left through ScopedLock.
class CriticalSection {
public:
    CriticalSection() { ::InitializeCriticalSection(&cs_); }
    ~CriticalSection() { ::DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;
    void Lock() { ::EnterCriticalSection(&cs_); }
    void Unlock() { ::LeaveCriticalSection(&cs_); }
    // For condition variables, which sleep on the section itself.
    CRITICAL_SECTION* Native() { return &cs_; }
private:
    CRITICAL_SECTION cs_;
};

class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& cs) : cs_(cs) { cs_.Lock(); }
    ~ScopedLock() { cs_.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;
private:
    CriticalSection& cs_;
};
