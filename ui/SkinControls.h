#pragma once
// The owner-drawn controls the launcher's dialogs bind to template
// items with DDX_Control: an image button with a hover image and a centred
// caption, a GDI+ text label, and a progress bar drawn from two thin PNGs.
// None erases its background. Font sizes and heights are scaled by GetUiScale.
// Each carries its text as its window text and tells accessibility clients
// what it is (SkinAccessible.h).
#include <windows.h>
#include <gdiplus.h>
#include <memory>
#include <string>

#include "afx/Controls.h"

// A window under which the skin controls lie and whose picture they need
// beneath their own (a skinned content window's backdrop). Each control paints
// that part first, so a repaint of the control alone never leaves traces of its
// previous look (what WS_EX_COMPOSITED gives on Windows, done by hand because
// not every platform layer honours it).
class ISkinBackdropHost {
public:
    virtual ~ISkinBackdropHost() = default;
    // Paints, into dc set up for child's client area, what the host shows
    // under child. False when the host has nothing to paint.
    virtual bool PaintBackdropUnder(HWND child, HDC dc) = 0;
};
// Asks the control's parent (when it is an ISkinBackdropHost) to paint under it.
bool PaintParentBackdrop(HWND control, HDC dc);
// Where child's top-left corner lies in host's client area: a host paints under
// the child by drawing its own picture at minus this point.
POINT ChildOriginInHost(HWND host, HWND child);

class CSkinButton : public CButton {
public:
    CSkinButton() = default;
    ~CSkinButton() override;

    std::unique_ptr<Gdiplus::Image> normalImage;
    std::unique_ptr<Gdiplus::Image> hoverImage;
    std::wstring fontFace = L"微软雅黑";
    int fontSize = 10;
    int fontStyle = 0;
    int fontUnit = 2;  // UnitPixel
    uint32_t textColor = 0xFFFFFFFF;
    int trackingMouse = 0;
    int buttonState = 1;  // 1 normal, 2 pressed, 3 hover
    // The images show the caption (an icon, a picture with lettering): the
    // window text names the button for accessibility clients and is not drawn.
    int captionInImage = 0;

    // Deletes both images and loads the two PNG resources.
    void SetImages(UINT normalPngId, UINT hoverPngId);

    void PreSubclassWindow() override;
    void DrawItem(DRAWITEMSTRUCT* item) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void SetState(int state);
};

// An owner-drawn static that never erases: every WM_PAINT lays the parent's
// backdrop under it first, then the control draws itself over its client area.
class CSkinStatic : public CStatic {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    // Draws the control into dc (the paint's device context) over client.
    virtual void Draw(HDC dc, const RECT& client) = 0;
    // What the control is to an accessibility client (ROLE_SYSTEM_*).
    virtual LONG AccessibleRole() const;

private:
    void Paint();
};

class CCustomLabel : public CSkinStatic {
public:
    std::wstring fontFace = L"宋体";
    int fontSize = 10;
    int fontStyle = 0;
    int fontUnit = 2;
    uint32_t textColor = 0xFFFFFFFF;
    int alignment = 0;      // 0 near, 1 centre, 2 far
    int lineAlignment = 0;  // same values, vertically
    // Not described: when set, a text whose wrapped lines would not fit the
    // client height is drawn with a smaller font (down to 60 %) instead of being
    // cut off. Off by default; the message box turns it on for its message.
    int shrinkToFit = 0;

    // SetWindowText, then InvalidateRect with erase.
    void SetText(const std::wstring& text);
    // Where the text's pixels lie in the client area, as Draw lays the text
    // out (font, shrinking, alignment); empty without text.
    RECT TextBounds();

    void PreSubclassWindow() override;

protected:
    void Draw(HDC dc, const RECT& client) override;

private:
    // The font Draw uses for text over client: the designed one, or with
    // shrinkToFit one small enough for the text to fit.
    std::unique_ptr<Gdiplus::Font> FittedFont(Gdiplus::Graphics& graphics, const std::wstring& text,
                                              const RECT& client, const Gdiplus::StringFormat& format);
    void SetUpFormat(Gdiplus::StringFormat* format) const;
};

class CCustomProgress : public CSkinStatic {
public:
    ~CCustomProgress() override;

    float fraction = 0.0f;                 // 0..1, kept in range by the owner
    std::unique_ptr<Gdiplus::Image> barImage;    // PNG 141
    std::unique_ptr<Gdiplus::Image> trackImage;  // set by the owner window
    int barImageWidth = 0;
    int barImageHeight = 0;

    // Deletes the bar image, loads PNG 141 and keeps its pixel size.
    void LoadBarImage();
    // Replaces the track image (the owner's PNG 143).
    void SetTrackImage(std::unique_ptr<Gdiplus::Image> image);
    // Sets fraction (kept in 0..1 by the caller) and repaints; accessibility
    // clients are told when the position changes.
    void SetFraction(float value);
    // fraction in whole percent, 0 to 100: what PBM_GETPOS answers, as from a
    // progress control with the range 0 to 100.
    int Position() const;

    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void Draw(HDC dc, const RECT& client) override;
    LONG AccessibleRole() const override;

private:
    int announcedPosition_ = 0;
};
