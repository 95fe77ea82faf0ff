#include "util/PngResource.h"

#include <cstring>
#include "afx/ScopedWin.h"
#include "afx/WinApp.h"

namespace {

// A stream over a copy of the resource's bytes; the stream owns the copy.
IStream* OpenPngStream(UINT id, HMODULE module) {
    if (!module) module = AfxGetInstanceHandle();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
    if (!found) return nullptr;
    DWORD size = ::SizeofResource(module, found);
    HGLOBAL loaded = ::LoadResource(module, found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return nullptr;
    ScopedHGlobal copy(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!copy) return nullptr;
    void* target = ::GlobalLock(copy.Get());
    std::memcpy(target, bytes, size);
    ::GlobalUnlock(copy.Get());
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(copy.Get(), TRUE, &stream))) return nullptr;
    copy.Release();  // the stream frees it now
    return stream;
}

}  // namespace

Gdiplus::Image* LoadPngImage(UINT id, HMODULE module) {
    IStream* stream = OpenPngStream(id, module);
    if (!stream) return new Gdiplus::Image(static_cast<IStream*>(nullptr));
    Gdiplus::Image* image = Gdiplus::Image::FromStream(stream);
    stream->Release();
    return image;
}

Gdiplus::Bitmap* LoadPngBitmap(UINT id, int x, int y, int width, int height, HMODULE module) {
    IStream* stream = OpenPngStream(id, module);
    if (!stream) return nullptr;
    Gdiplus::Bitmap* full = Gdiplus::Bitmap::FromStream(stream);
    stream->Release();
    if (!full || width == 0 || height == 0) return full;
    Gdiplus::Bitmap* crop = full->Clone(x, y, width, height, full->GetPixelFormat());
    delete full;
    if (crop && crop->GetLastStatus() != Gdiplus::Ok) {
        delete crop;
        return nullptr;
    }
    return crop;
}
