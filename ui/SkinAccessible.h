#pragma once
// What an accessibility client (a screen reader) is told about a skinned
// control. The skin controls are owner-drawn Button and Static windows, which
// the platform's standard objects may describe as anonymous client areas. Each
// control answers WM_GETOBJECT with the standard object of its window, except
// that the role is that of the control it looks like, the name is its window
// text, and a progress bar's value is its position as a progress control
// reports it ("45%", from PBM_GETPOS).
#include <windows.h>

// The answer to WM_GETOBJECT (wParam, lParam) sent to control, whose role is
// one of the ROLE_SYSTEM_* values. 0 (the platform's standard object) for
// requests other than the client object and when no object can be made.
LRESULT AnswerAccessibleObjectRequest(HWND control, WPARAM wParam, LPARAM lParam, LONG role);
