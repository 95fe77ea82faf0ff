#include "util/PngResource.h"

#include <cstring>
#include "afx/ScopedWin.h"
#include "afx/WinApp.h"

namespace {

// A stream over a copy of the resource's bytes (the stream owns the copy) in
// *stream; false when there is no such resource or no memory.
bool OpenPngStream(UINT id, HMODULE module, ScopedComPtr<IStream>* stream) {
    if (!module) module = AfxGetInstanceHandle();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!found) return false;
    DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return false;
    ScopedHGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!copy) return false;
    void* target = ::GlobalLock(copy.Get());
    std::memcpy(target, bytes, size);
    ::GlobalUnlock(copy.Get());
    if (FAILED(::CreateStreamOnHGlobal(copy.Get(), TRUE, stream->Receive()))) return false;
    copy.Release();  // the stream frees it now
    return true;
}

}  // namespace

std::unique_ptr<Gdiplus::Image> LoadPngImage(UINT id, HMODULE module) {
    ScopedComPtr<IStream> stream;
    if (!OpenPngStream(id, module, &stream)) {
        return std::make_unique<Gdiplus::Image>(static_cast<IStream*>(nullptr));
    }
    return std::unique_ptr<Gdiplus::Image>(Gdiplus::Image::FromStream(stream.Get()));
}

std::unique_ptr<Gdiplus::Bitmap> LoadPngBitmap(UINT id, int x, int y, int width, int height, HMODULE module) {
    ScopedComPtr<IStream> stream;
    if (!OpenPngStream(id, module, &stream)) return nullptr;
    std::unique_ptr<Gdiplus::Bitmap> full(Gdiplus::Bitmap::FromStream(stream.Get()));
    if (!full || width == 0 || height == 0) return full;
    std::unique_ptr<Gdiplus::Bitmap> crop(full->Clone(x, y, width, height, full->GetPixelFormat()));
    if (crop && crop->GetLastStatus() != Gdiplus::Ok) return nullptr;
    return crop;
}
