#include "ui/SkinControls.h"

#include <commctrl.h>
#include <oleacc.h>
#include <cmath>

#include "res/resource.h"
#include "ui/SkinAccessible.h"
#include "afx/ScopedWin.h"
#include "ui/SkinFont.h"
#include "util/PngResource.h"
#include "util/UiScale.h"

namespace {

const DWORD kOwnerDrawStaticBits = 0x8000D;  // SS_OWNERDRAW and 0x80000

}  // namespace

bool PaintParentBackdrop(HWND control, HDC dc) {
    HWND parent = ::GetParent(control);
    auto* host = dynamic_cast<ISkinBackdropHost*>(CWnd::FromHandlePermanent(parent));
    return host && host->PaintBackdropUnder(control, dc);
}

POINT ChildOriginInHost(HWND host, HWND child) {
    RECT rect;
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&rect), 2);
    return POINT{rect.left, rect.top};
}

// ---------------------------------------------------------------- CSkinButton

CSkinButton::~CSkinButton() {
    if (m_hWnd) UnsubclassWindow();
}

void CSkinButton::SetImages(UINT normalPngId, UINT hoverPngId) {
    normalImage = LoadPngImage(normalPngId);
    hoverImage = LoadPngImage(hoverPngId);
}

void CSkinButton::PreSubclassWindow() {
    ModifyStyle(0, BS_OWNERDRAW);
}

void CSkinButton::SetState(int state) {
    if (buttonState == state) return;
    buttonState = state;
    InvalidateRect(nullptr, TRUE);
}

void CSkinButton::DrawItem(DRAWITEMSTRUCT* item) {
    if (!item) return;
    // What lies under the button first; without a normal image that is all.
    PaintParentBackdrop(m_hWnd, item->hDC);
    if (!normalImage) return;
    RECT client;
    GetClientRect(&client);
    const int clientWidth = client.right - client.left;
    const int clientHeight = client.bottom - client.top;

    Gdiplus::Graphics graphics(item->hDC);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    Gdiplus::Image* picture = buttonState == 1 ? normalImage.get() : hoverImage.get();
    if (picture) graphics.DrawImage(picture, 0, 0, clientWidth, clientHeight);

    std::wstring text = GetWindowText();
    if (text.empty() || captionInImage) return;
    auto font = MakeSkinFont(fontFace, static_cast<float>(fontSize) * GetUiScale(), fontStyle, fontUnit);
    Gdiplus::StringFormat format;  // near alignment
    Gdiplus::RectF measured;
    if (graphics.MeasureString(text.c_str(), -1, font.get(), Gdiplus::RectF(0, 0, 0, 0), &format, &measured) !=
        Gdiplus::Ok) {
        return;
    }
    Gdiplus::RectF layout((static_cast<float>(clientWidth) - measured.Width) * 0.5f,
                          (static_cast<float>(clientHeight) - measured.Height) * 0.5f,
                          static_cast<float>(clientWidth), static_cast<float>(clientHeight));
    Gdiplus::SolidBrush brush{Gdiplus::Color(textColor)};
    graphics.DrawString(text.c_str(), -1, font.get(), layout, &format, &brush);
}

LRESULT CSkinButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE:
        if (!trackingMouse) {
            TRACKMOUSEEVENT track = {};
            track.cbSize = sizeof(track);  // 16
            track.dwFlags = TME_HOVER | TME_LEAVE;
            track.hwndTrack = m_hWnd;
            track.dwHoverTime = 10;
            if (::TrackMouseEvent(&track)) trackingMouse = 1;
        }
        if (buttonState == 1) SetState(3);
        break;
    case WM_MOUSEHOVER:
        trackingMouse = 0;
        if (buttonState == 1) SetState(3);
        break;
    case WM_MOUSELEAVE:
        trackingMouse = 0;
        if (buttonState != 1) SetState(1);
        break;
    case WM_LBUTTONDOWN:
        if (buttonState != 2) SetState(2);
        break;
    case WM_LBUTTONUP:
        if (buttonState != 1) SetState(1);
        break;
    case WM_ERASEBKGND:
        return 0;
    case WM_GETOBJECT:
        if (LRESULT object = AnswerAccessibleObjectRequest(m_hWnd, wParam, lParam, ROLE_SYSTEM_PUSHBUTTON)) {
            return object;
        }
        break;
    default:
        break;
    }
    return CButton::WindowProc(message, wParam, lParam);
}

// ---------------------------------------------------------------- CSkinStatic

void CSkinStatic::Paint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    RECT client;
    GetClientRect(&client);
    PaintParentBackdrop(m_hWnd, dc);
    Draw(dc, client);
    ::EndPaint(m_hWnd, &paint);
}

LRESULT CSkinStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        return 0;
    case WM_GETOBJECT:
        if (LRESULT object = AnswerAccessibleObjectRequest(m_hWnd, wParam, lParam, AccessibleRole())) return object;
        [[fallthrough]];
    default:
        return CStatic::WindowProc(message, wParam, lParam);
    }
}

LONG CSkinStatic::AccessibleRole() const { return ROLE_SYSTEM_STATICTEXT; }

// --------------------------------------------------------------- CCustomLabel

void CCustomLabel::SetText(const std::wstring& text) {
    SetWindowText(text);
    InvalidateRect(nullptr, TRUE);
}

void CCustomLabel::PreSubclassWindow() {
    ModifyStyle(0, kOwnerDrawStaticBits);
}

void CCustomLabel::SetUpFormat(Gdiplus::StringFormat* format) const {
    format->SetAlignment(static_cast<Gdiplus::StringAlignment>(alignment));
    format->SetLineAlignment(static_cast<Gdiplus::StringAlignment>(lineAlignment));
}

std::unique_ptr<Gdiplus::Font> CCustomLabel::FittedFont(Gdiplus::Graphics& graphics, const std::wstring& text,
                                                        const RECT& client, const Gdiplus::StringFormat& format) {
    float size = static_cast<float>(fontSize) * GetUiScale();
    auto font = MakeSkinFont(fontFace, size, fontStyle, fontUnit);
    if (shrinkToFit && !text.empty()) {
        const float width = static_cast<float>(client.right - client.left);
        const float height = static_cast<float>(client.bottom - client.top);
        const float smallest = size * 0.6f;
        for (;;) {
            Gdiplus::SizeF needed;
            if (graphics.MeasureString(text.c_str(), -1, font.get(), Gdiplus::SizeF(width, 100000.0f), &format,
                                       &needed) != Gdiplus::Ok ||
                needed.Height <= height || size - 1.0f < smallest) {
                break;
            }
            size -= 1.0f;
            font = MakeSkinFont(fontFace, size, fontStyle, fontUnit);
        }
    }
    return font;
}

namespace {
Gdiplus::RectF AreaOf(const RECT& client) {
    return Gdiplus::RectF(static_cast<float>(client.left), static_cast<float>(client.top),
                          static_cast<float>(client.right - client.left), static_cast<float>(client.bottom - client.top));
}
}  // namespace

void CCustomLabel::Draw(HDC dc, const RECT& client) {
    std::wstring text = GetWindowText();
    Gdiplus::Graphics graphics(dc);
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    Gdiplus::StringFormat format(0, LANG_NEUTRAL);
    SetUpFormat(&format);
    auto font = FittedFont(graphics, text, client, format);
    Gdiplus::SolidBrush brush{Gdiplus::Color(textColor)};
    graphics.DrawString(text.c_str(), -1, font.get(), AreaOf(client), &format, &brush);
}

RECT CCustomLabel::TextBounds() {
    RECT bounds = {0, 0, 0, 0};
    std::wstring text = GetWindowText();
    if (text.empty() || !m_hWnd) return bounds;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    ScopedScreenDc screen(::GetDC(nullptr));
    Gdiplus::Graphics graphics(screen.Get());
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    Gdiplus::StringFormat format(0, LANG_NEUTRAL);
    SetUpFormat(&format);
    auto font = FittedFont(graphics, text, client, format);
    // Wrapped to the width as drawn, but as tall as it needs: a text taller
    // (or a word wider) than the control shows beyond it.
    Gdiplus::SizeF needed;
    const float width = static_cast<float>(client.right - client.left);
    const float height = static_cast<float>(client.bottom - client.top);
    if (graphics.MeasureString(text.c_str(), -1, font.get(), Gdiplus::SizeF(width, 100000.0f), &format, &needed) !=
        Gdiplus::Ok) {
        return bounds;
    }
    // Placed as the format's alignments place it: near, centre or far.
    const float x = alignment == 0 ? 0.0f : alignment == 1 ? (width - needed.Width) / 2 : width - needed.Width;
    const float y = lineAlignment == 0 ? 0.0f : lineAlignment == 1 ? (height - needed.Height) / 2 : height - needed.Height;
    bounds.left = static_cast<LONG>(x);
    bounds.top = static_cast<LONG>(y);
    bounds.right = static_cast<LONG>(x + needed.Width + 0.999f);
    bounds.bottom = static_cast<LONG>(y + needed.Height + 0.999f);
    return bounds;
}

// ------------------------------------------------------------ CCustomProgress

CCustomProgress::~CCustomProgress() {
    if (m_hWnd) UnsubclassWindow();
}

void CCustomProgress::LoadBarImage() {
    barImage = LoadPngImage(IDB_PNG_PROGRESS_BAR);
    barImageWidth = barImage ? static_cast<int>(barImage->GetWidth()) : 0;
    barImageHeight = barImage ? static_cast<int>(barImage->GetHeight()) : 0;
}

void CCustomProgress::SetTrackImage(std::unique_ptr<Gdiplus::Image> image) { trackImage = std::move(image); }

void CCustomProgress::SetFraction(float value) {
    fraction = value;
    if (!m_hWnd) return;
    Invalidate(FALSE);
    const int position = Position();
    if (position != announcedPosition_) {
        announcedPosition_ = position;
        ::NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
    }
}

int CCustomProgress::Position() const {
    if (!(fraction > 0.0f)) return 0;  // also NaN
    if (fraction >= 1.0f) return 100;
    return static_cast<int>(std::lround(fraction * 100.0f));
}

LRESULT CCustomProgress::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case PBM_GETPOS:
        return Position();
    case PBM_GETRANGE:
        if (auto* range = reinterpret_cast<PBRANGE*>(lParam)) {
            range->iLow = 0;
            range->iHigh = 100;
        }
        return wParam ? 0 : 100;
    default:
        return CSkinStatic::WindowProc(message, wParam, lParam);
    }
}

LONG CCustomProgress::AccessibleRole() const { return ROLE_SYSTEM_PROGRESSBAR; }

void CCustomProgress::PreSubclassWindow() {
    ::SetWindowLongW(m_hWnd, GWL_STYLE, static_cast<LONG>(GetStyle() | kOwnerDrawStaticBits));
    // Only takes effect where the platform makes the child layered; harmless otherwise.
    ::SetLayeredWindowAttributes(m_hWnd, RGB(0, 0, 0), 0, LWA_COLORKEY);
}

void CCustomProgress::Draw(HDC dc, const RECT& client) {
    const float scale = GetUiScale();
    const float w = static_cast<float>(client.right - client.left);
    Gdiplus::Graphics graphics(dc);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeHighQuality);
    // Edge pixels are sampled from inside the image, never faded against nothing.
    Gdiplus::ImageAttributes clampEdges;
    clampEdges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    float inset = 0.0f;
    if (trackImage) {
        int trackHeight = static_cast<int>(scale * static_cast<float>(barImageHeight));
        graphics.DrawImage(trackImage.get(), Gdiplus::Rect(0, 0, static_cast<INT>(w), trackHeight), 0, 0,
                           static_cast<INT>(trackImage->GetWidth()), static_cast<INT>(trackImage->GetHeight()),
                           Gdiplus::UnitPixel, &clampEdges);
        inset = 0.5f;
    }
    if (barImage && fraction > 0.0f) {
        Gdiplus::RectF target(inset, inset, (w - 2.0f * inset) * fraction,
                              scale * static_cast<float>(barImageHeight) - scale * 2.0f * inset);
        graphics.DrawImage(barImage.get(), target, 0.0f, 0.0f, static_cast<float>(barImageWidth) * fraction,
                           static_cast<float>(barImageHeight), Gdiplus::UnitPixel, &clampEdges);
    }
}
