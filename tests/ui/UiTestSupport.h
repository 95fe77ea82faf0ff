#pragma once
// Helpers of the window toolkit tests: real windows on the Xvfb screen, read
// back pixel by pixel from the screen, driven by synthesised input.
#include <windows.h>
#include <functional>
#include <string>

#include "launcher/NewTalmoMainForegroundDialog.h"
#include "ui/NewTalmoMainBackgroundDialog.h"
#include "update/CDNResourceDownloader.h"
#include "update/ResourceManager.h"

class CSkinDialog;

// Dispatches this thread's messages for about ms milliseconds.
void PumpFor(int ms);
// Dispatches until done() or timeout; answers done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

// The colour on the screen at x, y (screen coordinates).
COLORREF ScreenPixel(int x, int y);
// Whether two colours differ by at most tolerance in each channel.
bool ColorNear(COLORREF a, COLORREF b, int tolerance);
// The number of pixels in rect (screen coordinates) that differ from ref by
// more than tolerance in some channel.
int CountPixelsDifferentFrom(const RECT& rect, COLORREF ref, int tolerance);
// The number of pixels in rect whose channels are all at least minimum (bright, e.g. white text).
int CountBrightPixels(const RECT& rect, int minimum);
// The average colour in rect.
COLORREF AverageColor(const RECT& rect);

// A plain popup window painted in one colour: a known backdrop for the
// windows under test. Destroyed with the object.
class ColorBackdrop {
public:
    ColorBackdrop(const RECT& rect, COLORREF color);
    ~ColorBackdrop();
    HWND Window() const { return window_; }
    COLORREF Color() const { return color_; }

private:
    HWND window_ = nullptr;
    COLORREF color_;
};

// Synthesised input through the platform's input queue (SendInput).
void MouseMoveTo(int x, int y);
void MouseDown();
void MouseUp();
void ClickAt(int x, int y);
void KeyPress(WORD virtualKey);

// Runs show (which runs a box modally) while probe is called once, from inside
// the box's modal loop, as soon as the innermost box has been shown and painted.
// Boxes still open timeoutMs after the start are ended with -100, so a failing
// test never hangs. Answers what show answered.
int RunWithBoxProbe(const std::function<int()>& show, const std::function<void(CSkinDialog*)>& probe,
                    int timeoutMs = 15000);

// The launcher's main window group as the launcher makes it (the background,
// then the foreground on it), shown on the screen, with the update flow held
// before its first step so that no launcher server is asked.
class MainWindowGroup {
public:
    MainWindowGroup();
    CNewTalmoMainForegroundDialog& Foreground();

    // Never initialised: the flow is held before it would start an update.
    CCDNResourceDownloader downloader;
    CResourceManager resources{downloader};
    CNewTalmoMainBackgroundDialog background{resources};
};

// The window's rectangle on the screen.
RECT WindowRectOf(HWND window);
// A rectangle inside rect, shrunk by inset on every side.
RECT Shrunk(const RECT& rect, int inset);
