#include "afx/GdiplusSession.h"
#include <gdiplus.h>

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, background thread kept
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
    if (token_) Gdiplus::GdiplusShutdown(token_);
}
