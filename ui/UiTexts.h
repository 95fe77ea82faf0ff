#pragma once
// The fixed user-visible texts of the window toolkit.

inline constexpr const wchar_t* kTextQuit = L"退出";
inline constexpr const wchar_t* kTextCancel = L"取消";
inline constexpr const wchar_t* kTextOk = L"确定";
// The launcher's name: the title of its main windows (their captions are not
// drawn; the taskbar button and accessibility clients show it).
inline constexpr const wchar_t* kTextLauncherTitle = L"霁澜舰影手游模拟器";

// Designed font families; where one is missing (as under Wine) the skin
// controls fall back to an installed family with CJK glyphs (SkinFont.h).
inline constexpr const wchar_t* kFontSongTi = L"宋体";
inline constexpr const wchar_t* kFontYaHei = L"微软雅黑";
