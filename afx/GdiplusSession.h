#pragma once
// GDI+ for the whole process: started when the first session is made and shut
// down when it goes. The launcher keeps one as a static object, so GDI+ is up
// before InitInstance and stays up until the process exits normally.
#include <windows.h>

class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool Started() const { return token_ != 0; }

private:
    ULONG_PTR token_ = 0;
};
