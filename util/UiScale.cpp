#include "util/UiScale.h"

#include <windows.h>
#include "afx/ScopedWin.h"

namespace {
bool g_computed = false;
float g_scale = 1.0f;
}

float ComputeUiScale(int pixelsPerInch, int screenWidth) {
    if (pixelsPerInch != 96) return static_cast<float>(pixelsPerInch / 96.0);
    if (screenWidth >= 1503 && screenWidth <= 1920) return 1.0f;
    float scale = static_cast<float>(screenWidth / 1920.0);
    return scale > 0 ? scale : 1.0f;
}

float GetUiScale() {
    if (g_computed) return g_scale;
    g_computed = true;
    ScopedScreenDc dc(::GetDC(nullptr));
    int dpi = dc ? ::GetDeviceCaps(dc.Get(), LOGPIXELSX) : 96;
    g_scale = ComputeUiScale(dpi, ::GetSystemMetrics(SM_CXSCREEN));
    return g_scale;
}

void OverrideUiScaleForTesting(float scale) {
    g_computed = true;
    g_scale = scale;
}

int Scaled(int value) { return static_cast<int>(value * GetUiScale()); }
