#pragma once
// PNG images compiled into the executable (resource type "PNG"), as GDI+ objects
// owned by the caller.
#include <windows.h>
#include <gdiplus.h>
#include <memory>

// A new Image; an identifier without a PNG resource gives an empty image
// (width and height 0) that draws nothing. module null: the application's.
std::unique_ptr<Gdiplus::Image> LoadPngImage(UINT id, HMODULE module = nullptr);
// A new Bitmap, cropped to (x, y, width, height) when width and height are
// both non-zero; null when the crop fails.
std::unique_ptr<Gdiplus::Bitmap> LoadPngBitmap(UINT id, int x = 0, int y = 0, int width = 0, int height = 0,
                               HMODULE module = nullptr);
