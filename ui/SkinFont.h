#pragma once
// Font families for the skin controls. The designed families ("宋体",
// "微软雅黑") are missing on some systems (Wine, stripped Windows installs);
// text must never disappear, so a missing family falls back to an installed
// family with CJK glyphs.
#include <windows.h>
#include <gdiplus.h>
#include <memory>
#include <string>

// The family name to use for face: face itself when GDI+ knows it, else a known
// alias (宋体 -> SimSun, 微软雅黑 -> Microsoft YaHei), else the first installed
// CJK family found (WenQuanYi, Noto CJK, ... or any family GDI lists for the
// GB2312 character set), else GDI+'s generic sans-serif family. Remembered per face.
std::wstring ResolveFontFamily(const std::wstring& face);

// A GDI+ font of the resolved family; never null, and always usable.
std::unique_ptr<Gdiplus::Font> MakeSkinFont(const std::wstring& face, float size, int style, int unit);
