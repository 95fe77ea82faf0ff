#pragma once
// The one UI scale factor: every designed pixel value, image size and font
// size of the windows is multiplied by it and truncated.

// The factor for a screen: dpi / 96 when not 96; otherwise 1.0 for widths
// 1503..1920, else width / 1920 (1.0 when that is not positive).
float ComputeUiScale(int pixelsPerInch, int screenWidth);
// Computed once, from the screen, and kept for the life of the process.
float GetUiScale();
// Tests and the gallery render at a chosen factor.
void OverrideUiScaleForTesting(float scale);
// value * GetUiScale(), truncated.
int Scaled(int value);
